// The colour shader and its base (see S3DShader.h). Runs on whichever thread
// the shader's context is current on: the window thread while it is made and
// destroyed, the render thread for frames.
#include "render/S3DShader.h"

#include "render/S3DMatrix.h"

#include <QByteArray>
#include <QFile>
#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>
#include <QtDebug>

#include <cstring>
#include <string>

namespace {

// Reads a whole resource; raises EResNotFound naming it when it is absent.
QByteArray ReadResource(const char *aPath)
{
    QFile file(QString::fromLatin1(aPath));
    if (!file.open(QIODevice::ReadOnly))
        throw EResNotFound(std::string("Shader resource ") + aPath + " not found");
    return file.readAll();
}

// Number of floats of a vertex element format; 0 for formats a float
// attribute cannot take.
GLint FloatCount(TVertexFormat aFormat)
{
    switch (aFormat) {
    case DXGI_FORMAT_R32_FLOAT:
        return 1;
    case DXGI_FORMAT_R32G32_FLOAT:
        return 2;
    case DXGI_FORMAT_R32G32B32_FLOAT:
        return 3;
    case DXGI_FORMAT_R32G32B32A32_FLOAT:
        return 4;
    default:
        return 0;
    }
}

// Float count of a float attribute type of the program; 0 for other types.
GLint AttributeFloatCount(GLenum aType)
{
    switch (aType) {
    case GL_FLOAT:
        return 1;
    case GL_FLOAT_VEC2:
        return 2;
    case GL_FLOAT_VEC3:
        return 3;
    case GL_FLOAT_VEC4:
        return 4;
    default:
        return 0;
    }
}

// Compiles one stage; 0 on failure, with the driver's log as a warning.
GLuint CompileStage(QOpenGLFunctions_3_3_Core *gl, GLenum aStage, const QByteArray &aSource,
                    const char *aName)
{
    const GLuint shader = gl->glCreateShader(aStage);
    if (shader == 0)
        return 0;
    const char *text = aSource.constData();
    const GLint length = static_cast<GLint>(aSource.size());
    gl->glShaderSource(shader, 1, &text, &length);
    gl->glCompileShader(shader);
    GLint ok = GL_FALSE;
    gl->glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        char log[1024] = {};
        gl->glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        qWarning("Hushgauge: %s does not compile (GLSL 330 core): %s", aName, log);
        gl->glDeleteShader(shader);
        return 0;
    }
    return shader;
}

} // namespace

// --- TDXAbstractShader ---------------------------------------------------

TDXAbstractShader::TDXAbstractShader(QOpenGLContext *, const QString &, const QString &) {}

TDXAbstractShader::~TDXAbstractShader() { FreeShaders(); }

void TDXAbstractShader::Load(QOpenGLContext *pDevice)
{
    HRESULT result = E_FAIL;
    try {
        result = LoadShaders(pDevice);
    } catch (...) {
        FreeShaders();
        throw;
    }
    if (Failed(result)) {
        FreeShaders();
        throw EDrawingError(kShaderFailedText);
    }
}

HRESULT TDXAbstractShader::LoadShaders(QOpenGLContext *pDevice)
{
    // Both resources are read first: a missing one raises before anything
    // is made on the device.
    const QByteArray vertexSource = ReadResource(kVertexShaderResource);
    const QByteArray pixelSource = ReadResource(kPixelShaderResource);

    if (pDevice == nullptr || QOpenGLContext::currentContext() != pDevice)
        return E_FAIL;
    FContext = pDevice;
    FFunctions = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(pDevice);
    if (FFunctions == nullptr)
        return E_FAIL;
    QOpenGLFunctions_3_3_Core *gl = FFunctions;

    FVS = CompileStage(gl, GL_VERTEX_SHADER, vertexSource, "VERTEXSHADER");
    if (FVS == 0)
        return E_FAIL;
    FPS = CompileStage(gl, GL_FRAGMENT_SHADER, pixelSource, "PIXELSHADER");
    if (FPS == 0)
        return E_FAIL;
    FProgram = gl->glCreateProgram();
    if (FProgram == 0)
        return E_FAIL;
    gl->glAttachShader(FProgram, FVS);
    gl->glAttachShader(FProgram, FPS);
    gl->glLinkProgram(FProgram);
    GLint linked = GL_FALSE;
    gl->glGetProgramiv(FProgram, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        char log[1024] = {};
        gl->glGetProgramInfoLog(FProgram, sizeof log, nullptr, log);
        qWarning("Hushgauge: the shader programs do not link: %s", log);
        return E_FAIL;
    }

    HRESULT result = InitializeLayout();
    if (Failed(result))
        return result;
    result = CreateInputLayout();
    if (Failed(result))
        return result;
    FDevice = pDevice;
    return InitializeBuffers();
}

// Checks the layout against the linked program (every active input fed by
// one float element with no more floats than it declares, elements inside a
// vertex), then makes the vertex array object with those inputs enabled.
HRESULT TDXAbstractShader::CreateInputLayout()
{
    QOpenGLFunctions_3_3_Core *gl = FFunctions;
    if (FLayoutCount <= 0 || FLayoutCount > kMaxLayoutElements)
        return E_INVALIDARG;

    std::uint32_t nextOffset = 0;
    for (int i = 0; i < FLayoutCount; ++i) {
        const D3D11_INPUT_ELEMENT_DESC &element = FLayoutArray[i];
        const GLint components = FloatCount(element.Format);
        if (element.SemanticName == nullptr || components == 0 || element.InputSlot != 0 ||
            element.InputSlotClass != D3D11_INPUT_PER_VERTEX_DATA)
            return E_INVALIDARG;
        const std::uint32_t offset = element.AlignedByteOffset == D3D11_APPEND_ALIGNED_ELEMENT
                                         ? nextOffset
                                         : element.AlignedByteOffset;
        if (offset % 4 != 0 || offset > 2048)
            return E_INVALIDARG;
        nextOffset = offset + static_cast<std::uint32_t>(components) * 4;

        std::string name = element.SemanticName;
        if (element.SemanticIndex != 0)
            name += std::to_string(element.SemanticIndex);
        const GLint location = gl->glGetAttribLocation(FProgram, name.c_str());
        // An element the program does not read is allowed and stays unused.
        FResolved[i] = {location < 0 ? 0u : static_cast<GLuint>(location),
                        location < 0 ? 0 : components, offset};
    }

    GLint active = 0;
    gl->glGetProgramiv(FProgram, GL_ACTIVE_ATTRIBUTES, &active);
    for (GLint a = 0; a < active; ++a) {
        char name[64] = {};
        GLint size = 0;
        GLenum type = 0;
        gl->glGetActiveAttrib(FProgram, static_cast<GLuint>(a), sizeof name, nullptr, &size, &type,
                              name);
        if (std::strncmp(name, "gl_", 3) == 0)
            continue;
        const GLint location = gl->glGetAttribLocation(FProgram, name);
        const GLint declared = AttributeFloatCount(type);
        bool fed = false;
        for (int i = 0; i < FLayoutCount && !fed; ++i)
            fed = FResolved[i].Components > 0 && FResolved[i].Location == static_cast<GLuint>(location) &&
                  declared > 0 && FResolved[i].Components <= declared;
        if (!fed) {
            qWarning("Hushgauge: the vertex layout does not feed the vertex program's input %s", name);
            return E_FAIL;
        }
    }

    gl->glGenVertexArrays(1, &FInputLayout);
    if (FInputLayout == 0)
        return E_FAIL;
    gl->glBindVertexArray(FInputLayout);
    for (int i = 0; i < FLayoutCount; ++i)
        if (FResolved[i].Components > 0)
            gl->glEnableVertexAttribArray(FResolved[i].Location);
    gl->glBindVertexArray(0);
    return gl->glGetError() == GL_NO_ERROR ? S_OK : E_FAIL;
}

HRESULT TDXAbstractShader::InitializeLayout() { return E_NOTIMPL; }
HRESULT TDXAbstractShader::InitializeBuffers() { return S_OK; }
HRESULT TDXAbstractShader::FreeBuffers() { return S_OK; }

void TDXAbstractShader::FreeShaders()
{
    // GL names are deleted only in their own context; when it is not current
    // here they are forgotten, and the context frees them when it goes.
    if (!IsCurrent())
        FFunctions = nullptr;
    QOpenGLFunctions_3_3_Core *gl = FFunctions;
    if (gl != nullptr) {
        // A program or vertex array still bound would outlive its deletion.
        GLint bound = 0;
        gl->glGetIntegerv(GL_CURRENT_PROGRAM, &bound);
        if (FProgram != 0 && static_cast<GLuint>(bound) == FProgram)
            gl->glUseProgram(0);
        gl->glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &bound);
        if (FInputLayout != 0 && static_cast<GLuint>(bound) == FInputLayout)
            gl->glBindVertexArray(0);
        if (FInputLayout != 0)
            gl->glDeleteVertexArrays(1, &FInputLayout);
        if (FVS != 0)
            gl->glDeleteShader(FVS);
        if (FPS != 0)
            gl->glDeleteShader(FPS);
        if (FProgram != 0)
            gl->glDeleteProgram(FProgram);
        FreeBuffers();
    }
    FInputLayout = 0;
    FVS = 0;
    FPS = 0;
    FProgram = 0;
    FDevice = nullptr;
    FFunctions = nullptr;
    FContext = nullptr;
}

bool TDXAbstractShader::IsCurrent() const
{
    return FContext != nullptr && QOpenGLContext::currentContext() == FContext;
}

HRESULT TDXAbstractShader::Activate(QOpenGLFunctions_3_3_Core *pDC)
{
    if (pDC == nullptr || !IsCurrent())
        return E_FAIL;
    pDC->glBindVertexArray(FInputLayout);
    pDC->glUseProgram(FProgram);
    return S_OK;
}

HRESULT TDXAbstractShader::SetVertexBuffer(QOpenGLFunctions_3_3_Core *pDC, GLuint aBuffer,
                                           GLsizei aStride, GLintptr aOffset)
{
    if (FInputLayout == 0 || pDC == nullptr || !IsCurrent())
        return E_FAIL;
    pDC->glBindVertexArray(FInputLayout);
    pDC->glBindBuffer(GL_ARRAY_BUFFER, aBuffer);
    if (aBuffer == 0)
        return S_OK;
    for (int i = 0; i < FLayoutCount; ++i) {
        const TResolvedElement &element = FResolved[i];
        if (element.Components == 0)
            continue;
        const auto offset = static_cast<GLintptr>(element.Offset) + aOffset;
        pDC->glVertexAttribPointer(element.Location, element.Components, GL_FLOAT, GL_FALSE, aStride,
                                   reinterpret_cast<const void *>(offset));
    }
    return S_OK;
}

// --- TDXColorShader --------------------------------------------------------

TDXColorShader::TDXColorShader(QOpenGLContext *pDevice, const QString &aVSFilename,
                               const QString &aPSFilename)
    : TDXAbstractShader(pDevice, aVSFilename, aPSFilename)
{
    Load(pDevice);
}

TDXColorShader::TDXColorShader(QOpenGLContext *pDevice, const QString &aVSFilename,
                               const QString &aPSFilename, TDeferLoad)
    : TDXAbstractShader(pDevice, aVSFilename, aPSFilename)
{
}

TDXColorShader::~TDXColorShader() { FreeShaders(); }

HRESULT TDXColorShader::InitializeLayout()
{
    FLayoutCount = 2;
    FLayoutArray[0] = {"POSITION", 0, DXGI_FORMAT_R32G32B32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0};
    FLayoutArray[1] = {"COLOR", 0, DXGI_FORMAT_R32G32B32A32_FLOAT, 0, D3D11_APPEND_ALIGNED_ELEMENT,
                       D3D11_INPUT_PER_VERTEX_DATA, 0};
    return S_OK;
}

HRESULT TDXColorShader::CheckMatrixBlock()
{
    QOpenGLFunctions_3_3_Core *gl = Functions();
    const GLuint block = gl->glGetUniformBlockIndex(FProgram, "MatrixBuffer");
    if (block == GL_INVALID_INDEX)
        return E_FAIL;
    GLint size = 0;
    gl->glGetActiveUniformBlockiv(FProgram, block, GL_UNIFORM_BLOCK_DATA_SIZE, &size);
    if (size != kMatrixBufferSize)
        return E_FAIL;
    const char *names[3] = {"ProjMatrix", "ViewMatrix", "ModelMatrix"};
    GLuint indices[3] = {GL_INVALID_INDEX, GL_INVALID_INDEX, GL_INVALID_INDEX};
    gl->glGetUniformIndices(FProgram, 3, names, indices);
    for (GLuint index : indices)
        if (index == GL_INVALID_INDEX)
            return E_FAIL;
    GLint offsets[3] = {-1, -1, -1};
    GLint rowMajor[3] = {1, 1, 1};
    gl->glGetActiveUniformsiv(FProgram, 3, indices, GL_UNIFORM_OFFSET, offsets);
    gl->glGetActiveUniformsiv(FProgram, 3, indices, GL_UNIFORM_IS_ROW_MAJOR, rowMajor);
    for (int i = 0; i < 3; ++i)
        if (offsets[i] != 64 * i || rowMajor[i] != 0)
            return E_FAIL;
    gl->glUniformBlockBinding(FProgram, block, kMatrixBufferBinding);
    return S_OK;
}

HRESULT TDXColorShader::InitializeBuffers()
{
    QOpenGLFunctions_3_3_Core *gl = Functions();
    if (Failed(CheckMatrixBlock()))
        return E_FAIL;
    gl->glGetError();
    gl->glGenBuffers(1, &FConstantBuffer);
    if (FConstantBuffer == 0)
        return E_FAIL;
    gl->glBindBuffer(GL_UNIFORM_BUFFER, FConstantBuffer);
    gl->glBufferData(GL_UNIFORM_BUFFER, kMatrixBufferSize, nullptr, GL_DYNAMIC_DRAW);
    gl->glBindBuffer(GL_UNIFORM_BUFFER, 0);
    return gl->glGetError() == GL_NO_ERROR ? S_OK : E_FAIL;
}

HRESULT TDXColorShader::FreeBuffers()
{
    if (FConstantBuffer != 0 && Functions() != nullptr)
        Functions()->glDeleteBuffers(1, &FConstantBuffer);
    FConstantBuffer = 0;
    return S_OK;
}

HRESULT TDXColorShader::SetMatrices(QOpenGLFunctions_3_3_Core *pDC, const _D3DMATRIX &aModel,
                                    const _D3DMATRIX &aView, const _D3DMATRIX &aProjection)
{
    if (pDC == nullptr || FConstantBuffer == 0 || !IsCurrent())
        return E_FAIL;
    pDC->glBindBuffer(GL_UNIFORM_BUFFER, FConstantBuffer);
    // Invalidating the whole buffer lets the driver hand out fresh memory
    // instead of waiting for draws that still read the previous matrices.
    void *mapped = pDC->glMapBufferRange(GL_UNIFORM_BUFFER, 0, kMatrixBufferSize,
                                         GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_BUFFER_BIT);
    if (mapped == nullptr) {
        pDC->glBindBuffer(GL_UNIFORM_BUFFER, 0);
        return E_FAIL;
    }
    float *out = static_cast<float *>(mapped);
    WriteTransposed(aProjection, out);
    WriteTransposed(aView, out + 16);
    WriteTransposed(aModel, out + 32);
    const bool intact = pDC->glUnmapBuffer(GL_UNIFORM_BUFFER) == GL_TRUE;
    pDC->glBindBuffer(GL_UNIFORM_BUFFER, 0);
    pDC->glBindBufferBase(GL_UNIFORM_BUFFER, kMatrixBufferBinding, FConstantBuffer);
    return intact ? S_OK : E_FAIL;
}
