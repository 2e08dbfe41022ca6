// Test shader "blank": a shader library whose entry makes nothing, for loading shader plugins
// by name before any shader exists. Example: createShaderPlugin("blank", path).
namespace ovo {
class Shader;
}

extern "C" ovo::Shader* createShader() { return nullptr; }
