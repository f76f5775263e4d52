OPENQASM 2.0;
include "qelib1.inc";
// qelib1.inc gates outside velquin's sixteen, and a gate defined here
gate mix(theta) a, b { u2(theta, -theta) a; crz(theta) a, b; rzz(theta / 2) a, b; }
qreg q[4];
u3(0.1, 0.2, 0.3) q[0];
u2(0.4, 0.5) q[1];
u1(0.6) q[2];
cu1(0.7) q[0], q[3];
cu3(0.8, 0.9, 1.0) q[1], q[2];
ch q[3], q[0];
crx(1.1) q[2], q[1];
cswap q[0], q[1], q[3];
ccx q[3], q[2], q[0];
rxx(1.2) q[1], q[3];
sxdg q[2];
id q[1];
mix(1.3) q[2], q[0];
