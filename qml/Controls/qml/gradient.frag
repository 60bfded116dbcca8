#version 440

// A diagonal two-colour gradient masked by the alpha of its source: stopA at the top-right
// corner, stopB at the bottom-left corner.
layout(location = 0) in vec2 qt_TexCoord0;
layout(location = 0) out vec4 fragColor;

layout(std140, binding = 0) uniform buf {
    mat4 qt_Matrix;
    float qt_Opacity;
    vec4 stopA;
    vec4 stopB;
};

layout(binding = 1) uniform sampler2D colorSource;

void main()
{
    float t = ((1.0 - qt_TexCoord0.x) + qt_TexCoord0.y) / 2.0;
    fragColor = mix(stopA, stopB, t) * texture(colorSource, qt_TexCoord0).a * qt_Opacity;
}
