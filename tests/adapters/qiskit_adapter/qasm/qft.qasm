OPENQASM 3.0;
include "stdgates.inc";
// Quantum Fourier transform on 4 qubits, applied to |0101> prepared with x and a u3 gate
qubit[4] q;
x q[0];
x q[2];
u3(0.3, 0.2, 0.1) q[3];
h q[3];
cp(pi/2) q[2], q[3];
cp(pi/4) q[1], q[3];
cp(pi/8) q[0], q[3];
h q[2];
cp(pi/2) q[1], q[2];
cp(pi/4) q[0], q[2];
h q[1];
cp(pi/2) q[0], q[1];
h q[0];
swap q[0], q[3];
swap q[1], q[2];
