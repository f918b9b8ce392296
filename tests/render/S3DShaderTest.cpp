// Tests of TDXColorShader and TDXAbstractShader on a context of the test's
// own: failing descendants release every GL object they made, a missing
// resource names itself. Main thread only.
#include "GLTestSupport.h"

#include "render/S3DRenderer.h"
#include "render/S3DShader.h"

#include <QOpenGLContext>
#include <QOpenGLVersionFunctionsFactory>
#include <QResource>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

// Resource registration functions are declared outside any namespace.
static void RemoveShaderResources() { Q_CLEANUP_RESOURCE(hg_render_shaders); }
static void RestoreShaderResources() { Q_INIT_RESOURCE(hg_render_shaders); }

using namespace hgtest;

namespace {

// A descendant that gives no layout.
class TNoLayoutShader : public TDXAbstractShader {
public:
    explicit TNoLayoutShader(QOpenGLContext *device) : TDXAbstractShader(device, "", "") { Load(device); }
};

// A layout that leaves the program's COLOR input unfed.
class TPositionOnlyShader : public TDXColorShader {
public:
    explicit TPositionOnlyShader(QOpenGLContext *device) : TDXColorShader(device, "", "", TDeferLoad{})
    {
        Load(device);
    }

protected:
    HRESULT InitializeLayout() override
    {
        FLayoutCount = 1;
        FLayoutArray[0] = {"POSITION", 0, DXGI_FORMAT_R32G32B32_FLOAT, 0, 0, 0, 0};
        return S_OK;
    }
};


// Its buffers are made, then creation fails.
class TFailingBuffersShader : public TDXColorShader {
public:
    explicit TFailingBuffersShader(QOpenGLContext *device) : TDXColorShader(device, "", "", TDeferLoad{})
    {
        Load(device);
    }

protected:
    HRESULT InitializeBuffers() override
    {
        const HRESULT made = TDXColorShader::InitializeBuffers();
        EXPECT_EQ(made, S_OK);
        EXPECT_NE(FConstantBuffer, 0u);
        return E_FAIL;
    }
};

class Shader : public testing::Test {
protected:
    void SetUp() override
    {
        FWindow = MakeWindow(16, 16);
        FWindow->create();
        QSurfaceFormat format;
        format.setVersion(3, 3);
        format.setProfile(QSurfaceFormat::CoreProfile);
        FContext.setFormat(format);
        ASSERT_TRUE(FContext.create());
        ASSERT_TRUE(FContext.makeCurrent(FWindow.get()));
        gl = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(&FContext);
        ASSERT_NE(gl, nullptr);
    }
    void TearDown() override { FContext.doneCurrent(); }

    std::unique_ptr<QWindow> FWindow;
    QOpenGLContext FContext;
    QOpenGLFunctions_3_3_Core *gl = nullptr;
};

TEST_F(Shader, FailingDescendantsRaiseAndReleaseEverything)
{
    struct Case {
        const char *what;
        std::function<void()> make;
    };
    const Case cases[] = {
        {"no layout", [&] { TNoLayoutShader s(&FContext); }},
        {"layout without COLOR", [&] { TPositionOnlyShader s(&FContext); }},
        {"failing buffers", [&] { TFailingBuffersShader s(&FContext); }},
    };
    const auto before = LiveObjects(gl);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        try {
            c.make();
            ADD_FAILURE() << "created";
        } catch (const EDrawingError &e) {
            EXPECT_STREQ(e.what(), "Failed to initialize shader(s).");
        }
        EXPECT_EQ(LiveObjects(gl), before) << "a GL object outlived the failed creation";
    }
}

TEST_F(Shader, MadeWithAnyFileNamesAndReleasedWhole)
{
    const auto before = LiveObjects(gl);
    {
        TDXColorShader s(&FContext, "no such file", "");
        EXPECT_NE(s.Program(), 0u);
        EXPECT_NE(s.ConstantBuffer(), 0u);
        EXPECT_EQ(s.Device(), &FContext);
        EXPECT_EQ(s.Activate(gl), S_OK);
        GLint program = 0;
        gl->glGetIntegerv(GL_CURRENT_PROGRAM, &program);
        EXPECT_EQ(static_cast<GLuint>(program), s.Program());
        GLint size = 0;
        gl->glBindBuffer(GL_UNIFORM_BUFFER, s.ConstantBuffer());
        gl->glGetBufferParameteriv(GL_UNIFORM_BUFFER, GL_BUFFER_SIZE, &size);
        EXPECT_EQ(size, 192);
        gl->glBindBuffer(GL_UNIFORM_BUFFER, 0);
        // The program's inputs are where the vertex layout puts them.
        EXPECT_EQ(gl->glGetAttribLocation(s.Program(), "POSITION"), 0);
        EXPECT_EQ(gl->glGetAttribLocation(s.Program(), "COLOR"), 1);
        EXPECT_GT(LiveObjects(gl).size(), before.size());

        // Not current here: nothing is written or bound.
        const _D3DMATRIX identity = MatrixIdentity();
        FContext.doneCurrent();
        EXPECT_EQ(s.SetMatrices(gl, identity, identity, identity), E_FAIL);
        EXPECT_EQ(s.Activate(gl), E_FAIL);
        ASSERT_TRUE(FContext.makeCurrent(FWindow.get()));
        EXPECT_EQ(s.SetMatrices(gl, identity, identity, identity), S_OK);
    }
    EXPECT_EQ(LiveObjects(gl), before);
}

TEST_F(Shader, NotCurrentContextFailsCreation)
{
    FContext.doneCurrent();
    EXPECT_THROW(TDXColorShader(&FContext, "", ""), EDrawingError);
    ASSERT_TRUE(FContext.makeCurrent(FWindow.get()));
}

TEST_F(Shader, MissingResourceRaisesAnErrorNamingIt)
{
    ASSERT_TRUE(QResource(kVertexShaderResource).isValid());
    RemoveShaderResources();
    const auto before = LiveObjects(gl);
    try {
        TDXColorShader s(&FContext, "", "");
        ADD_FAILURE() << "created";
    } catch (const EResNotFound &e) {
        EXPECT_NE(std::string(e.what()).find("VERTEXSHADER"), std::string::npos) << e.what();
    }
    EXPECT_EQ(LiveObjects(gl), before);

    // The renderer lets the same error through, not its own message.
    auto window = MakeWindow(16, 16);
    try {
        TDXRenderer r(window.get(), 16, 16, 1);
        ADD_FAILURE() << "created";
    } catch (const EResNotFound &e) {
        EXPECT_NE(std::string(e.what()).find("VERTEXSHADER"), std::string::npos) << e.what();
    } catch (const std::exception &e) {
        ADD_FAILURE() << "other error: " << e.what();
    }
    EXPECT_EQ(QOpenGLContext::currentContext(), nullptr) << "the renderer's context outlived the failure";
    RestoreShaderResources();
    ASSERT_TRUE(FContext.makeCurrent(FWindow.get()));
    EXPECT_NO_THROW(TDXColorShader(&FContext, "", ""));
}

} // namespace
