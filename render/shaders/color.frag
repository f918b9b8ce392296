#version 330 core
// Colour pixel program: paints each pixel with the vertex colour as
// interpolated (perspective-correct) across the primitive, alpha included.
// Runs on the GPU for every covered pixel.

smooth in vec4 VertexColor;

layout(location = 0) out vec4 Target;

void main()
{
    Target = VertexColor;
}
