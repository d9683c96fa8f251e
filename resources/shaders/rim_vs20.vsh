// Rim vertex program, shader model 2.0.
// Inputs: v0 position (w = 1), v1 normal, v2 texture coordinates.
// Constants, filled row by row by the application:
//   c0-c3 matWorldViewProj, c4-c7 matWorld, c8-c10 matNormalWorld,
//   c12 cameraPosition, c13 color.
vs_2_0
dcl_position v0
dcl_normal v1
dcl_texcoord v2

// clip position = position x matWorldViewProj (row vector times rows)
mul r0, v0.x, c0
mad r0, v0.y, c1, r0
mad r0, v0.z, c2, r0
mad oPos, v0.w, c3, r0

// set 0: the texture coordinates doubled
add oT0.xy, v2, v2

// set 1: normal x matNormalWorld, the world-space normal, left unnormalised
mul r1, v1.x, c8
mad r1, v1.y, c9, r1
mad oT1, v1.z, c10, r1

// world position = position x matWorld
mul r2, v0.x, c4
mad r2, v0.y, c5, r2
mad r2, v0.z, c6, r2
mad r2, v0.w, c7, r2

// set 2: cameraPosition - world position, normalised over all four components
add r3, c12, -r2
dp4 r4.x, r3, r3
rsq r4.x, r4.x
mul oT2, r3, r4.x

mov oD0, c13
