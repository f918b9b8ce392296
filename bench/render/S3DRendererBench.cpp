// Benchmark of a renderer's per-frame work on Mesa's llvmpipe under an X
// display (run it under scripts/with-servers): two matrix uploads, a clear
// and a present, beside a clear and present alone as the reference. Main
// thread only.
#include "render/S3DRenderer.h"

#include <QGuiApplication>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <memory>
#include "tests/support/GuiTestEnvironment.h"

namespace {

struct TBenchRenderer {
    std::unique_ptr<QWindow> Window;
    std::unique_ptr<TDXRenderer> Renderer;
    TBenchRenderer()
    {
        Window = std::make_unique<QWindow>();
        Window->setSurfaceType(QSurface::OpenGLSurface);
        Window->resize(457, 277);
        Renderer = std::make_unique<TDXRenderer>(Window.get(), 457, 277, 1);
    }
};

void BM_ClearPresent(benchmark::State &state)
{
    TBenchRenderer b;
    for (auto _ : state) {
        b.Renderer->Clear({0, 0, 0, 1});
        b.Renderer->Present();
    }
}
BENCHMARK(BM_ClearPresent);

void BM_SetMatricesClearPresent(benchmark::State &state)
{
    TBenchRenderer b;
    const _D3DMATRIX world = MatrixIdentity();
    const _D3DMATRIX view = DefaultViewMatrix();
    const _D3DMATRIX projection = DefaultProjectionMatrix(457, 277);
    TDXColorShader *shader = b.Renderer->Shader();
    for (auto _ : state) {
        b.Renderer->Clear({0, 0, 0, 1});
        shader->SetMatrices(b.Renderer->DeviceContext(), world, view, projection);
        shader->SetMatrices(b.Renderer->DeviceContext(), world, view, projection);
        b.Renderer->Present();
    }
}
BENCHMARK(BM_SetMatricesClearPresent);

} // namespace

int main(int argc, char **argv)
{
    hgtest::PrepareGuiEnvironment();
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
