// Fallback rim vertex program, shader model 1.1: as the 2.0 program, but the
// world normal leaves through the second colour output and the normalised
// view vector through texture set 1 (x, y, z).
// Constants: c0-c3 matWorldViewProj, c4-c7 matWorld, c8-c10 matNormalWorld,
// c12 cameraPosition, c13 color.
vs_1_1
dcl_position v0
dcl_normal v1
dcl_texcoord v2

mul r0, v0.x, c0
mad r0, v0.y, c1, r0
mad r0, v0.z, c2, r0
mad oPos, v0.w, c3, r0

add oT0.xy, v2, v2

mul r1, v1.x, c8
mad r1, v1.y, c9, r1
mad oD1, v1.z, c10, r1

mul r2, v0.x, c4
mad r2, v0.y, c5, r2
mad r2, v0.z, c6, r2
mad r2, v0.w, c7, r2

add r3, c12, -r2
dp4 r4.x, r3, r3
rsq r4.x, r4.x
mul oT1.xyz, r3, r4.x

mov oD0, c13
