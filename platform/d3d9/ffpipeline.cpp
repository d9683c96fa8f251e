#include "platform/d3d9/ffpipeline.h"

#include "platform/d3d9/d3d9types.h"

namespace platform::d3d9 {

// Direct3D 9 pixel centres sit on integer coordinates, GL's on +0.5, so
// geometry moves right and down by exactly half a pixel (1 / size in NDC).
// Rendering always goes into textures, upside down, so texture row 0 is the
// top row; in that orientation GL's tie rule for a centre exactly on an edge
// includes left and top edges as Direct3D's top-left rule does (the raster
// tests pin this), so no bias below the half is needed. A smaller shift
// (wined3d uses 63/128) moves every edge 1/128 pixel up and left, which
// decides edges just past a pixel centre wrongly.
const char* const kPositionFixup = R"(
uniform vec4 uViewport; // x, y, width, height of the Direct3D viewport
vec4 d3dToGl(vec4 clip) {
    return vec4(clip.x + clip.w / uViewport.z,
                -clip.y + clip.w / uViewport.w,
                2.0 * clip.z - clip.w, clip.w);
}
)";

namespace {

std::string n(unsigned v) {
    return std::to_string(v);
}

// Material colour source: the vertex colour when COLORVERTEX is on and the
// vertex has that colour, else the material (lighting documentation).
std::string materialColor(const FfVertexKey& key, unsigned source, const char* material) {
    if (key.colorVertex != 0) {
        if (source == D3DMCS_COLOR1 && key.hasDiffuse != 0) {
            return "aColor0";
        }
        if (source == D3DMCS_COLOR2 && key.hasSpecular != 0) {
            return "aColor1";
        }
    }
    return material;
}

} // namespace

std::string ffVertexSource(const FfVertexKey& key) {
    std::string s = "#version 330 core\n";
    s += "layout(location = 0) in vec4 aPosition;\n"
         "layout(location = 1) in vec3 aNormal;\n"
         "layout(location = 2) in vec4 aColor0;\n"
         "layout(location = 3) in vec4 aColor1;\n"
         "layout(location = 4) in float aPointSize;\n";
    for (unsigned i = 0; i < 8; ++i) {
        s += "layout(location = " + n(5 + i) + ") in vec4 aTex" + n(i) + ";\n";
        if ((key.texcoordOutputs >> i & 1u) != 0) {
            s += "out vec4 vTex" + n(i) + ";\n";
        }
    }
    s += "out vec4 vColor0;\nout vec4 vColor1;\n"
         "uniform mat4 uWorldView;\nuniform mat4 uProjection;\nuniform mat3 uNormalMatrix;\n"
         "uniform vec4 uMaterial[4]; // diffuse, ambient, specular, emissive\n"
         "uniform float uPower;\nuniform vec4 uAmbient;\n"
         "uniform vec4 uLightPosition[8]; // eye space; direction towards the light for directional lights\n"
         "uniform vec4 uLightDiffuse[8];\nuniform vec4 uLightSpecular[8];\nuniform vec4 uLightAmbient[8];\n"
         "uniform vec4 uLightAttenuation[8]; // a0, a1, a2, range\n"
         "uniform vec4 uPointSize; // size, min, max\n"
         "uniform vec4 uPointScale; // A, B, C\n";
    s += kPositionFixup;
    s += "void main() {\n";
    for (unsigned i = 0; i < 8; ++i) {
        if ((key.texcoordOutputs >> i & 1u) == 0) {
            continue;
        }
        // A set the vertex lacks reads (0, 0) (texture stage documentation).
        s += "    vTex" + n(i) + " = " +
             (i < key.texcoordSets ? "aTex" + n(i) : std::string("vec4(0.0, 0.0, 0.0, 1.0)")) + ";\n";
    }
    s += "    vec4 vertexDiffuse = " + std::string(key.hasDiffuse != 0 ? "aColor0" : "vec4(1.0)") + ";\n";
    s += "    vec4 vertexSpecular = " + std::string(key.hasSpecular != 0 ? "aColor1" : "vec4(0.0)") + ";\n";
    s += "    float size = " + std::string(key.hasPointSize != 0 ? "aPointSize" : "uPointSize.x") + ";\n";
    if (key.pretransformed != 0) {
        // Screen coordinates in pixels, z the depth, w = 1 / rhw (for
        // perspective-correct interpolation); no transform, no lighting.
        s += "    float w = aPosition.w != 0.0 ? 1.0 / aPosition.w : 1.0;\n"
             "    vec2 ndc = (aPosition.xy + 0.5 - uViewport.xy) * 2.0 / uViewport.zw - 1.0;\n"
             "    float z = " +
             std::string(key.pretransformed == 2 ? "clamp(aPosition.z, 0.0, 1.0)" : "aPosition.z") +
             ";\n"
             "    gl_Position = vec4(ndc * w, (2.0 * z - 1.0) * w, w);\n"
             "    vColor0 = vertexDiffuse;\n    vColor1 = vertexSpecular;\n"
             "    gl_PointSize = clamp(size, uPointSize.y, uPointSize.z);\n}\n";
        return s;
    }
    s += "    vec4 eye = uWorldView * vec4(aPosition.xyz, 1.0);\n"
         "    gl_Position = d3dToGl(uProjection * eye);\n";
    if (key.pointScale != 0) {
        // Point sprite scaling: Ss = Vh * Si * sqrt(1 / (A + B * De + C * De^2)).
        s += "    float de = length(eye.xyz);\n"
             "    size = uViewport.w * size * sqrt(1.0 / (uPointScale.x + uPointScale.y * de + "
             "uPointScale.z * de * de));\n";
    }
    s += "    gl_PointSize = clamp(size, uPointSize.y, uPointSize.z);\n";
    if (key.lighting == 0) {
        s += "    vColor0 = vertexDiffuse;\n    vColor1 = vertexSpecular;\n}\n";
        return s;
    }
    // Camera-space lighting ("Mathematics of Lighting"): attenuation
    // 1 / (a0 + a1 d + a2 d^2), nothing beyond the range, N.L clamped,
    // specular only where N.L > 0, halfway vector towards the camera.
    s += "    vec3 normal = " + std::string(key.hasNormal != 0 ? "uNormalMatrix * aNormal" : "vec3(0.0)") + ";\n";
    if (key.normalizeNormals != 0 && key.hasNormal != 0) {
        s += "    normal = length(normal) > 0.0 ? normalize(normal) : normal;\n";
    }
    s += "    vec4 matDiffuse = " + materialColor(key, key.diffuseSource, "uMaterial[0]") + ";\n";
    s += "    vec4 matAmbient = " + materialColor(key, key.ambientSource, "uMaterial[1]") + ";\n";
    s += "    vec4 matSpecular = " + materialColor(key, key.specularSource, "uMaterial[2]") + ";\n";
    s += "    vec4 matEmissive = " + materialColor(key, key.emissiveSource, "uMaterial[3]") + ";\n";
    s += "    vec3 ambientSum = vec3(0.0);\n    vec3 diffuseSum = vec3(0.0);\n    vec3 specularSum = vec3(0.0);\n";
    s += "    vec3 toEye = " + std::string(key.localViewer != 0 ? "-normalize(eye.xyz)" : "vec3(0.0, 0.0, -1.0)") +
         ";\n";
    for (unsigned i = 0; i < key.lightCount; ++i) {
        std::string l = n(i);
        s += "    {\n";
        if (key.lightDirectional[i] != 0) {
            s += "        vec3 dir = normalize(uLightPosition[" + l + "].xyz);\n        float att = 1.0;\n";
        } else {
            s += "        vec3 toLight = uLightPosition[" + l +
                 "].xyz - eye.xyz;\n"
                 "        float d = length(toLight);\n"
                 "        vec3 dir = d > 0.0 ? toLight / d : vec3(0.0);\n"
                 "        vec4 a = uLightAttenuation[" +
                 l +
                 "];\n"
                 "        float denominator = a.x + a.y * d + a.z * d * d;\n"
                 "        float att = d > a.w ? 0.0 : (denominator > 0.0 ? 1.0 / denominator : 3.402823e38);\n";
        }
        s += "        float nDotL = clamp(dot(normal, dir), 0.0, 1.0);\n"
             "        ambientSum += uLightAmbient[" +
             l +
             "].rgb * att;\n"
             "        diffuseSum += uLightDiffuse[" +
             l +
             "].rgb * nDotL * att;\n"
             "        vec3 halfway = normalize(toEye + dir);\n"
             "        float nDotH = dot(normal, halfway);\n"
             "        if (nDotL > 0.0 && nDotH > 0.0) {\n"
             "            specularSum += uLightSpecular[" +
             l +
             "].rgb * pow(nDotH, uPower) * att;\n"
             "        }\n    }\n";
    }
    s +=
        "    vec3 lit = matEmissive.rgb + matAmbient.rgb * (uAmbient.rgb + ambientSum) + matDiffuse.rgb * diffuseSum;\n"
        "    vColor0 = clamp(vec4(lit, matDiffuse.a), 0.0, 1.0);\n"
        "    vColor1 = clamp(vec4(matSpecular.rgb * specularSum, matSpecular.a), 0.0, 1.0);\n}\n";
    return s;
}

namespace {

std::string argument(unsigned arg, unsigned stage, bool hasCurrent) {
    std::string base;
    switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE:
        base = "diffuse";
        break;
    case D3DTA_CURRENT:
        base = hasCurrent ? "current" : "diffuse"; // CURRENT on stage 0 is the diffuse colour
        break;
    case D3DTA_TEXTURE:
        base = "tex" + n(stage);
        break;
    case D3DTA_TFACTOR:
        base = "uTextureFactor";
        break;
    default:
        base = "specular";
        break;
    }
    if ((arg & D3DTA_COMPLEMENT) != 0) {
        base = "(vec4(1.0) - " + base + ")";
    }
    if ((arg & D3DTA_ALPHAREPLICATE) != 0) {
        base = "vec4(" + base + ".a)";
    }
    return base;
}

// Texture operations (D3DTEXTUREOP documentation).
std::string operation(unsigned op, const std::string& a1, const std::string& a2, unsigned stage) {
    switch (op) {
    case D3DTOP_SELECTARG1:
        return a1;
    case D3DTOP_SELECTARG2:
        return a2;
    case D3DTOP_MODULATE:
        return a1 + " * " + a2;
    case D3DTOP_MODULATE2X:
        return "2.0 * " + a1 + " * " + a2;
    case D3DTOP_MODULATE4X:
        return "4.0 * " + a1 + " * " + a2;
    case D3DTOP_ADD:
        return a1 + " + " + a2;
    case D3DTOP_ADDSIGNED:
        return a1 + " + " + a2 + " - vec4(0.5)";
    case D3DTOP_SUBTRACT:
        return a1 + " - " + a2;
    case D3DTOP_BLENDDIFFUSEALPHA:
        return "mix(" + a2 + ", " + a1 + ", diffuse.a)";
    case D3DTOP_BLENDTEXTUREALPHA:
        return "mix(" + a2 + ", " + a1 + ", tex" + n(stage) + ".a)";
    default: // D3DTOP_BLENDFACTORALPHA
        return "mix(" + a2 + ", " + a1 + ", uTextureFactor.a)";
    }
}

} // namespace

unsigned ffPixelTexcoordInputs(const FfPixelKey& key) {
    unsigned used = 0;
    if (key.pointSprite == 0) {
        for (unsigned i = 0; i < key.stageCount; ++i) {
            used |= 1u << (key.stages[i].texcoordIndex & 7u);
        }
    }
    return used;
}

std::string ffPixelSource(const FfPixelKey& key) {
    std::string s = "#version 330 core\n"
                    "in vec4 vColor0;\nin vec4 vColor1;\n";
    const unsigned used = ffPixelTexcoordInputs(key);
    for (unsigned i = 0; i < 8; ++i) {
        if ((used >> i & 1u) != 0) {
            s += "in vec4 vTex" + n(i) + ";\n";
        }
    }
    for (unsigned i = 0; i < key.stageCount; ++i) {
        s += "uniform sampler2D uSampler" + n(i) + ";\n";
    }
    s += "uniform vec4 uTextureFactor;\nlayout(location = 0) out vec4 fragColor;\nvoid main() {\n"
         "    vec4 diffuse = vColor0;\n    vec4 specular = vColor1;\n    vec4 current = diffuse;\n";
    for (unsigned i = 0; i < key.stageCount; ++i) {
        const FfStageKey& st = key.stages[i];
        std::string coord = key.pointSprite != 0 ? "gl_PointCoord" : "vTex" + n(st.texcoordIndex & 7u) + ".xy";
        s += "    vec4 tex" + n(i) + " = texture(uSampler" + n(i) + ", " + coord + ");\n";
        bool hasCurrent = i > 0;
        std::string color =
            operation(st.colorOp, argument(st.colorArg1, i, hasCurrent), argument(st.colorArg2, i, hasCurrent), i);
        // ALPHAOP DISABLE under an enabled colour operation passes the alpha through.
        std::string alpha = st.alphaOp == D3DTOP_DISABLE ? std::string(hasCurrent ? "current" : "diffuse")
                                                         : operation(st.alphaOp, argument(st.alphaArg1, i, hasCurrent),
                                                                     argument(st.alphaArg2, i, hasCurrent), i);
        s += "    current = clamp(vec4((" + color + ").rgb, (" + alpha + ").a), 0.0, 1.0);\n";
    }
    if (key.specularEnable != 0) {
        s += "    current.rgb = clamp(current.rgb + specular.rgb, 0.0, 1.0);\n";
    }
    s += "    fragColor = current;\n}\n";
    return s;
}

} // namespace platform::d3d9
