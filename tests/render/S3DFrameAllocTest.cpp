// A frame's calls into the drawing layer allocate nothing on the C++ heap:
// Clear, SetVertexBuffer, SetPrimitiveTopology, SetMatrices, Draw,
// UpdateVertexBuffer and Present, counted with a replaced global operator new
// while frames run on this (main) thread.
#include "GLTestSupport.h"

#include "render/S3DRenderer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

namespace {
thread_local bool tCounting = false;
std::atomic<long> gAllocations{0};
} // namespace

void *operator new(std::size_t size)
{
    if (tCounting)
        gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void *p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }

using namespace hgtest;

namespace {

TEST(RendererFrame, AllocatesNothing)
{
    auto window = MakeWindow(64, 32);
    TDXRenderer r(window.get(), 64, 32, 4);
    std::vector<TColorVertex> curve(2047);
    for (std::size_t i = 0; i < curve.size(); ++i)
        curve[i] = {{-1.0f + 2.0f * static_cast<float>(i) / 2046.0f, 0, 0}, {1, 1, 0, 1}};
    GLuint grid = 0, spectrum = 0;
    ASSERT_EQ(r.CreateVertexBuffer(grid, curve.data(), 26, false), S_OK);
    ASSERT_EQ(r.CreateVertexBuffer(spectrum, curve.data(), 2047, true), S_OK);
    const _D3DMATRIX identity = MatrixIdentity();

    auto frame = [&] {
        r.Clear({0, 0, 0, 1});
        r.SetVertexBuffer(grid);
        r.SetPrimitiveTopology(TPrimitiveTopology::LineList);
        r.Shader()->SetMatrices(r.DeviceContext(), identity, identity, identity);
        r.Draw(26, 0);
        r.UpdateVertexBuffer(spectrum, curve.data(), 2047);
        r.SetVertexBuffer(spectrum);
        r.SetPrimitiveTopology(TPrimitiveTopology::LineStrip);
        r.Shader()->SetMatrices(r.DeviceContext(), identity, identity, identity);
        r.Draw(2046, 0);
    };
    // The first frames let the driver compile its pipeline variants (LLVM,
    // which allocates with operator new).
    for (int i = 0; i < 3; ++i) {
        frame();
        r.Present();
    }
    tCounting = true;
    for (int i = 0; i < 20; ++i) {
        frame();
        r.Present();
    }
    tCounting = false;
    EXPECT_EQ(gAllocations.load(), 0);

    r.ReleaseVertexBuffer(grid);
    r.ReleaseVertexBuffer(spectrum);
}

} // namespace
