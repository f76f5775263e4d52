OPENQASM 3.0;
include "stdgates.inc";
// Grover search on 3 qubits for |101>, two iterations
qubit[3] q;
bit[3] c;
h q;
// iteration 1
// oracle: phase flip on |101>
x q[1];
h q[2];
ccx q[0], q[1], q[2];
h q[2];
x q[1];
// diffusion
h q;
x q;
h q[2];
ccx q[0], q[1], q[2];
h q[2];
x q;
h q;
// iteration 2
// oracle: phase flip on |101>
x q[1];
h q[2];
ccx q[0], q[1], q[2];
h q[2];
x q[1];
// diffusion
h q;
x q;
h q[2];
ccx q[0], q[1], q[2];
h q[2];
x q;
h q;
c = measure q;
