// The shader side of the drawing layer: TDXAbstractShader loads the two GLSL
// programs from the program's resources (":/SHADERS/VERTEXSHADER" and
// ":/SHADERS/PIXELSHADER"), links them and builds the vertex array object
// from the descendant's vertex layout; TDXColorShader adds the 192-byte
// uniform buffer of block MatrixBuffer with the model, view and projection
// matrices.
//
// Threads: a shader is used from one thread at a time, the thread on which
// its context (its device) is current: it is made on the window thread, used
// for frames on the render thread and destroyed on the window thread again
// (see TDXRenderer). Every operation expects its context to be current on
// the calling thread. No member is shared between threads.
#pragma once

#include "render/S3DTypes.h"

#include <QString>
#include <qopengl.h>

#include <cstdint>

class QOpenGLContext;
class QOpenGLFunctions_3_3_Core;

// Formats of a vertex element (the values of the DXGI formats they stand for).
enum TVertexFormat : std::uint32_t {
    DXGI_FORMAT_UNKNOWN = 0,
    DXGI_FORMAT_R32G32B32A32_FLOAT = 2,
    DXGI_FORMAT_R32G32B32_FLOAT = 6,
    DXGI_FORMAT_R32G32_FLOAT = 16,
    DXGI_FORMAT_R32_FLOAT = 41,
};
inline constexpr std::uint32_t D3D11_APPEND_ALIGNED_ELEMENT = 0xFFFFFFFFu;
inline constexpr std::uint32_t D3D11_INPUT_PER_VERTEX_DATA = 0;

// One element of a vertex layout. SemanticName names the vertex program's
// input: "COLOR" with index 0 is the attribute COLOR, index k > 0 is COLORk.
struct D3D11_INPUT_ELEMENT_DESC {
    const char *SemanticName = nullptr;
    std::uint32_t SemanticIndex = 0;
    TVertexFormat Format = DXGI_FORMAT_UNKNOWN;
    std::uint32_t InputSlot = 0;
    std::uint32_t AlignedByteOffset = 0;
    std::uint32_t InputSlotClass = D3D11_INPUT_PER_VERTEX_DATA;
    std::uint32_t InstanceDataStepRate = 0;
};

// Resource paths of the two programs.
inline constexpr const char *kVertexShaderResource = ":/SHADERS/VERTEXSHADER";
inline constexpr const char *kPixelShaderResource = ":/SHADERS/PIXELSHADER";

class TDXAbstractShader {
public:
    TDXAbstractShader(const TDXAbstractShader &) = delete;
    TDXAbstractShader &operator=(const TDXAbstractShader &) = delete;
    // Releases whatever is still held (FreeShaders). A descendant with
    // buffers calls FreeShaders() in its own destructor first, while its
    // FreeBuffers override is still reachable.
    virtual ~TDXAbstractShader();

    // Binds the input layout (the vertex array object) and the linked
    // program to the context. S_OK; E_FAIL only when the shader's context is
    // not current here.
    HRESULT Activate(QOpenGLFunctions_3_3_Core *pDC);

    // Feeds the layout's elements from aBuffer (a GL buffer name; 0 unbinds)
    // with aStride bytes a vertex, starting at aOffset bytes: what binding a
    // vertex buffer to input slot 0 does. Leaves the vertex array object
    // bound. E_FAIL without a layout.
    HRESULT SetVertexBuffer(QOpenGLFunctions_3_3_Core *pDC, GLuint aBuffer, GLsizei aStride,
                            GLintptr aOffset);

    QOpenGLContext *Device() const { return FDevice; }
    GLuint Program() const { return FProgram; }

protected:
    // Makes nothing: a concrete descendant's constructor ends with
    // Load(pDevice), so that its overrides take part.
    TDXAbstractShader(QOpenGLContext *pDevice, const QString &aVSFilename, const QString &aPSFilename);

    // Runs LoadShaders; on a failure code releases everything made so far and
    // raises EDrawingError("Failed to initialize shader(s)."). A missing
    // resource raises EResNotFound naming it, with nothing made.
    void Load(QOpenGLContext *pDevice);

    // Fill FLayoutArray and FLayoutCount. Base: E_NOTIMPL.
    virtual HRESULT InitializeLayout();
    // Make the descendant's own buffers on FDevice. Base: S_OK, nothing.
    virtual HRESULT InitializeBuffers();
    // Release them. Base: S_OK, nothing.
    virtual HRESULT FreeBuffers();

    // Releases the vertex array object, the vertex and pixel programs and the
    // linked program, calls FreeBuffers, then forgets the device. Fields that
    // were never set are skipped; each becomes empty. When the shader's
    // context is not current on this thread nothing is deleted through GL
    // (Functions() is then null in FreeBuffers): the names die with the
    // context.
    void FreeShaders();

    // The GL function table of FDevice (or of the device being loaded).
    QOpenGLFunctions_3_3_Core *Functions() const { return FFunctions; }
    // Whether the shader's context is current on the calling thread: GL
    // names mean something only there.
    bool IsCurrent() const;

    static constexpr int kMaxLayoutElements = 101;

    QOpenGLContext *FDevice = nullptr; // set once both programs and the layout exist
    GLuint FInputLayout = 0;           // vertex array object
    GLuint FVS = 0;                    // vertex program (shader object)
    GLuint FPS = 0;                    // pixel program (shader object)
    GLuint FProgram = 0;               // the two linked together
    D3D11_INPUT_ELEMENT_DESC FLayoutArray[kMaxLayoutElements] = {};
    std::int32_t FLayoutCount = 0;

private:
    HRESULT LoadShaders(QOpenGLContext *pDevice);
    HRESULT CreateInputLayout();

    // Per layout element, resolved when the input layout is made: attribute
    // location, float count and byte offset within a vertex.
    struct TResolvedElement {
        GLuint Location;
        GLint Components;
        GLuint Offset;
    };
    TResolvedElement FResolved[kMaxLayoutElements] = {};
    QOpenGLContext *FContext = nullptr; // the context being loaded into
    QOpenGLFunctions_3_3_Core *FFunctions = nullptr;
};

class TDXColorShader : public TDXAbstractShader {
public:
    // Tag of the constructor that leaves loading to a descendant.
    struct TDeferLoad {};

    // Loads and makes everything on pDevice, which must be current on the
    // calling thread. The two file names are not read: both programs always
    // come from the resources. Raises EDrawingError or EResNotFound.
    TDXColorShader(QOpenGLContext *pDevice, const QString &aVSFilename, const QString &aPSFilename);
    ~TDXColorShader() override;

    // Writes the transposes of aProjection, aView and aModel into the whole
    // 192-byte uniform buffer (bytes 0, 64, 128), then binds it to the
    // MatrixBuffer block's binding point. A failing map returns its code at
    // once, leaving the buffer's contents and the binding untouched; so does
    // a call while the shader's context is not current here (E_FAIL). The
    // caller's matrices are not changed.
    HRESULT SetMatrices(QOpenGLFunctions_3_3_Core *pDC, const _D3DMATRIX &aModel,
                        const _D3DMATRIX &aView, const _D3DMATRIX &aProjection);

    // The uniform buffer (a GL buffer name), for inspection.
    GLuint ConstantBuffer() const { return FConstantBuffer; }

    static constexpr GLsizeiptr kMatrixBufferSize = 192;
    static constexpr GLuint kMatrixBufferBinding = 0;

protected:
    // For descendants that override the virtual operations: makes nothing;
    // the descendant's constructor ends with Load(pDevice).
    TDXColorShader(QOpenGLContext *pDevice, const QString &aVSFilename, const QString &aPSFilename,
                   TDeferLoad);

    HRESULT InitializeLayout() override;
    HRESULT InitializeBuffers() override;
    HRESULT FreeBuffers() override;

    GLuint FConstantBuffer = 0;

private:
    // Checks that the linked program's MatrixBuffer block is 192 bytes with
    // its three matrices at 0, 64 and 128, column-major, and ties it to the
    // binding point.
    HRESULT CheckMatrixBlock();
};
