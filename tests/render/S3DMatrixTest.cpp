// Tests of the drawing layer's matrix construction and vertex layout: pure,
// no display. Main thread only.
#include "render/S3DMatrix.h"
#include "render/S3DTypes.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>

namespace {

std::uint32_t Bits(float f) { return std::bit_cast<std::uint32_t>(f); }

void ExpectMatrixBits(const _D3DMATRIX &actual, const float (&expected)[4][4], const char *what)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(Bits(actual.m[r][c]), Bits(expected[r][c]))
                << what << " element m" << r + 1 << c + 1 << ": " << actual.m[r][c] << " instead of "
                << expected[r][c];
}

TEST(S3DMatrix, DefaultProjectionIsBitExact)
{
    const float y = std::bit_cast<float>(0x401A8279u);
    const float q = std::bit_cast<float>(0x3F814AFDu);
    EXPECT_EQ(Bits(PerspectiveYScale(kHalfFieldOfView)), 0x401A8279u);

    struct Case {
        std::int32_t width, height;
        float xScale;
    };
    const Case cases[] = {
        {457, 277, y / static_cast<float>(457.0L / 277.0L)},
        {800, 400, 1.2071067f}, // yScale / 2
        {400, 800, y * 2.0f},
        {1, 1, y},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        const float expected[4][4] = {
            {c.xScale, 0, 0, 0}, {0, y, 0, 0}, {0, 0, q, 1}, {0, 0, -q, 0}};
        ExpectMatrixBits(DefaultProjectionMatrix(c.width, c.height), expected, "projection");
    }
    EXPECT_EQ(Bits(DefaultProjectionMatrix(800, 400).m[0][0]), Bits(1.2071067f));
    EXPECT_EQ(Bits(DefaultProjectionMatrix(800, 400).m[3][2]), 0xBF814AFDu);
}

TEST(S3DMatrix, LookAtGivesIdentityWithTheEyeInTheFourthRow)
{
    struct Case {
        TVector3 eye, target;
        float row4[4];
    };
    const float cx = static_cast<float>(5.99712);
    const Case cases[] = {
        {{0, 0, -3}, {0, 0, 0}, {0, 0, 3, 1}},                   // the renderer's default view
        {{cx, 5.6f, -15}, {cx, 5.6f, 0}, {-cx, -5.6f, 15, 1}},   // the display's grid camera
        {{18.01362f, 5.6f, -15}, {18.01362f, 5.6f, 0}, {-18.01362f, -5.6f, 15, 1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "eye x " << c.eye.x);
        const float expected[4][4] = {
            {1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {c.row4[0], c.row4[1], c.row4[2], c.row4[3]}};
        ExpectMatrixBits(LookAtMatrixLH(c.eye, c.target, {0, 1, 0}), expected, "view");
    }
    const float expectedDefault[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 3, 1}};
    ExpectMatrixBits(DefaultViewMatrix(), expectedDefault, "default view");
}

TEST(S3DMatrix, LookAtAlongOtherAxesIsOrthonormal)
{
    // Looking along +x from the origin: z = (1,0,0), x = up x z = (0,0,-1).
    const _D3DMATRIX v = LookAtMatrixLH({0, 0, 0}, {5, 0, 0}, {0, 1, 0});
    const float expected[4][4] = {{0, 0, 1, 0}, {0, 1, 0, 0}, {-1, 0, 0, 0}, {0, 0, 0, 1}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_FLOAT_EQ(v.m[r][c], expected[r][c]) << "m" << r + 1 << c + 1;
    // A degenerate camera (eye on the target) gives no NaN.
    const _D3DMATRIX d = LookAtMatrixLH({1, 1, 1}, {1, 1, 1}, {0, 1, 0});
    for (const auto &row : d.m)
        for (float f : row)
            EXPECT_FALSE(f != f);
}

TEST(S3DMatrix, TransposeWritesColumnsAsGroupsOfFour)
{
    _D3DMATRIX m;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m.m[r][c] = static_cast<float>(10 * (r + 1) + (c + 1)); // 11 .. 44
    float out[16];
    WriteTransposed(m, out);
    const float expected[16] = {11, 21, 31, 41, 12, 22, 32, 42, 13, 23, 33, 43, 14, 24, 34, 44};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(out[i], expected[i]) << "float " << i;
    const _D3DMATRIX t = MatrixTranspose(m);
    EXPECT_EQ(std::memcmp(&t, out, sizeof out), 0);
    const _D3DMATRIX back = MatrixTranspose(t);
    EXPECT_EQ(std::memcmp(&back, &m, sizeof m), 0);
}

TEST(S3DMatrix, OriginLandsInTheMiddleAtTwoThirdsOfQDepth)
{
    const float q = kDefaultProjectionQ;
    const TVector4 clip = ClipPosition({0, 0, 0}, MatrixIdentity(), DefaultViewMatrix(),
                                       DefaultProjectionMatrix(457, 277));
    EXPECT_EQ(clip.x, 0.0f);
    EXPECT_EQ(clip.y, 0.0f);
    EXPECT_FLOAT_EQ(clip.z, 2.0f * q);
    EXPECT_EQ(clip.w, 3.0f);
    EXPECT_NEAR(clip.z / clip.w, 0.6734006, 1e-6);
}

TEST(S3DMatrix, RowVectorTimesMatrixAppliesTranslationFromTheFourthRow)
{
    _D3DMATRIX t = MatrixIdentity();
    t.m[3][0] = 2;
    t.m[3][1] = -1;
    t.m[3][2] = 0.5f;
    _D3DMATRIX s = MatrixIdentity();
    s.m[0][0] = 3;
    // Model first: scale then translate.
    const TVector4 p = ClipPosition({1, 1, 1}, s, t, MatrixIdentity());
    EXPECT_EQ(p.x, 5.0f);
    EXPECT_EQ(p.y, 0.0f);
    EXPECT_EQ(p.z, 1.5f);
    EXPECT_EQ(p.w, 1.0f);
}

TEST(S3DTypes, ResultCodesAreTheSigned32BitValues)
{
    EXPECT_EQ(S_OK, 0);
    EXPECT_EQ(static_cast<std::uint32_t>(E_FAIL), 0x80004005u);
    EXPECT_EQ(static_cast<std::uint32_t>(E_NOTIMPL), 0x80004001u);
    EXPECT_TRUE(Failed(E_FAIL));
    EXPECT_TRUE(Failed(E_NOTIMPL));
    EXPECT_FALSE(Failed(S_OK));
}

} // namespace
