#version 330 core
// Colour vertex program: carries each vertex through the model, view and
// projection matrices (a row vector multiplied on the left) and hands its
// colour on unchanged. Runs on the GPU for every vertex of the grid and the
// spectrum curve.

// Three 4x4 matrices, std140, each stored column by column; the drawing
// layer writes the transposes of its row-major matrices, so these read back
// exactly the caller's matrices.
layout(std140) uniform MatrixBuffer
{
    layout(column_major) mat4 ProjMatrix;  // bytes 0..63
    layout(column_major) mat4 ViewMatrix;  // bytes 64..127
    layout(column_major) mat4 ModelMatrix; // bytes 128..191
};

layout(location = 0) in vec4 POSITION; // fed with x, y, z only
layout(location = 1) in vec4 COLOR;

smooth out vec4 VertexColor;

// Clips what lies in front of the near plane (clip z below 0), so that the
// visible depth range is 0 <= z <= w as the projection matrices intend,
// rather than OpenGL's own -w <= z <= w.
out float gl_ClipDistance[1];

void main()
{
    // The fourth component is always 1.0, whatever the input supplies.
    vec4 p = vec4(POSITION.xyz, 1.0);
    // Row vector times matrix: component j is the dot product of the vector
    // with column j.
    vec4 m = p * ModelMatrix;
    vec4 v = m * ViewMatrix;
    gl_Position = v * ProjMatrix;
    gl_ClipDistance[0] = gl_Position.z;
    VertexColor = COLOR;
}
