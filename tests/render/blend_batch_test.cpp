// Blend value decoding and the batching decisions of the hardware back end.
#include <gtest/gtest.h>

#include "render/blend.h"
#include "render/quad_batch.h"

namespace kq::render {
namespace {

TEST(DecodeBlend, ValuesTheShellUses) {
    const BlendState opaque = DecodeBlend(kBlendOpaque);
    EXPECT_FALSE(opaque.blending);
    EXPECT_FALSE(opaque.alphaTest);
    EXPECT_EQ(opaque.source, BlendFactor::kOne);
    EXPECT_EQ(opaque.dest, BlendFactor::kZero);

    const BlendState alpha = DecodeBlend(0x504);
    EXPECT_TRUE(alpha.blending);
    EXPECT_TRUE(alpha.alphaTest);
    EXPECT_EQ(alpha.source, BlendFactor::kSrcAlpha);
    EXPECT_EQ(alpha.dest, BlendFactor::kInvSrcAlpha);
    EXPECT_EQ(alpha.op, BlendOp::kAdd);
    EXPECT_FALSE(alpha.modulate);

    const BlendState additive = DecodeBlend(0x104);
    EXPECT_EQ(additive.source, BlendFactor::kSrcAlpha);
    EXPECT_EQ(additive.dest, BlendFactor::kOne);
    EXPECT_TRUE(additive.blending);
}

TEST(DecodeBlend, FieldsModulateAndOpaqueDetection) {
    const BlendState s = DecodeBlend(0x1003'0908);
    EXPECT_EQ(s.source, BlendFactor::kDestColor);
    EXPECT_EQ(s.dest, BlendFactor::kInvDestColor);
    EXPECT_EQ(s.op, BlendOp::kMin);
    EXPECT_TRUE(s.modulate);
    EXPECT_EQ(DecodeBlend(0x0001'0000).op, BlendOp::kRevSubtract);
    EXPECT_EQ(DecodeBlend(0x0002'0000).op, BlendOp::kSubtract);
    EXPECT_EQ(DecodeBlend(0x0004'0A0A).op, BlendOp::kMax);
    EXPECT_EQ(DecodeBlend(0x0A).source, BlendFactor::kSrcAlphaSat);

    // (one, zero, add) with the modulate bit or unused bits is still the opaque copy...
    EXPECT_FALSE(DecodeBlend(kBlendModulateBit | 1).blending);
    EXPECT_TRUE(DecodeBlend(kBlendModulateBit | 1).modulate);
    EXPECT_FALSE(DecodeBlend(0x0100'0001).blending);
    // ...but (zero, zero, add) = 0 blends (and draws black), like any other value.
    EXPECT_TRUE(DecodeBlend(0).blending);
    EXPECT_EQ(DecodeBlend(0).source, BlendFactor::kZero);
}

TEST(DecodeBlend, InvalidCodesFallBack) {
    const BlendState s = DecodeBlend(0x00FF'7F63);
    EXPECT_EQ(s.source, BlendFactor::kOne);
    EXPECT_EQ(s.dest, BlendFactor::kZero);
    EXPECT_EQ(s.op, BlendOp::kAdd);
    EXPECT_TRUE(s.blending); // not the opaque code, even though it falls back to it
    EXPECT_EQ(DecodeBlend(0x0005'0504).op, BlendOp::kAdd);
}

TEST(NeedsModulate, TintedCornersOrModulateBit) {
    const std::array<uint32_t, 4> white = {kWhite, kWhite, kWhite, kWhite};
    EXPECT_FALSE(NeedsModulate(0x504, white));
    EXPECT_TRUE(NeedsModulate(0x504 | kBlendModulateBit, white));
    for (int corner = 0; corner < 4; ++corner) {
        auto tinted = white;
        tinted[corner] = 0xFEFFFFFF; // alpha only
        EXPECT_TRUE(NeedsModulate(0x504, tinted)) << corner;
    }
}

BatchVertex Quad[4] = {};

TEST(QuadBatch, JoinsUntilSharedStateChanges) {
    QuadBatch batch(8);
    BatchState s{1, DecodeBlend(0x504), false, {0, 0, 100, 100}};
    EXPECT_FALSE(batch.NeedsFlush(s, true)); // empty batch never needs a flush
    batch.Add(s, true, Quad);
    EXPECT_FALSE(batch.NeedsFlush(s, true));
    EXPECT_FALSE(batch.NeedsFlush(s, false)); // a fill joins a textured batch

    BatchState other = s;
    other.texture = 2;
    EXPECT_TRUE(batch.NeedsFlush(other, true));
    EXPECT_FALSE(batch.NeedsFlush(other, false)); // fills ignore the texture
    other = s;
    other.filtering = true;
    EXPECT_TRUE(batch.NeedsFlush(other, true));
    EXPECT_FALSE(batch.NeedsFlush(other, false)); // ... and the filtering
    other = s;
    other.blend = DecodeBlend(0x104);
    EXPECT_TRUE(batch.NeedsFlush(other, false));
    other = s;
    other.clip = {0, 0, 50, 50};
    EXPECT_TRUE(batch.NeedsFlush(other, false));
}

TEST(QuadBatch, FillsFirstThenTextureDecides) {
    QuadBatch batch(8);
    BatchState fill{0, DecodeBlend(0x504), false, {0, 0, 10, 10}};
    batch.Add(fill, false, Quad);
    EXPECT_EQ(batch.State().texture, kNoTexture);
    BatchState tex = fill;
    tex.texture = 7;
    tex.filtering = true;
    EXPECT_FALSE(batch.NeedsFlush(tex, true));
    batch.Add(tex, true, Quad);
    EXPECT_EQ(batch.State().texture, 7u);
    EXPECT_TRUE(batch.State().filtering);
    tex.texture = 8;
    EXPECT_TRUE(batch.NeedsFlush(tex, true));
}

TEST(QuadBatch, FullBatchNeedsFlushAndKeepsVertices) {
    QuadBatch batch(2);
    BatchState s{1, DecodeBlend(1), false, {0, 0, 1, 1}};
    BatchVertex v[4] = {{1, 2, 0, 0, 0xFF, 0, 0, 0, 1, 1},
                        {3, 4, 0, 0, 0, 0, 0, 0, 1, 1},
                        {5, 6, 0, 0, 0, 0, 0, 0, 1, 1},
                        {7, 8, 0, 0, 0, 0, 0, 0, 1, 1}};
    batch.Add(s, true, v);
    batch.Add(s, true, v);
    EXPECT_TRUE(batch.Full());
    EXPECT_TRUE(batch.NeedsFlush(s, true));
    batch.Add(s, true, v); // dropped, never written past the end
    EXPECT_EQ(batch.QuadCount(), 2u);
    ASSERT_EQ(batch.Vertices().size(), 8u);
    EXPECT_EQ(batch.Vertices()[7].x, 7.0f);
    batch.Clear();
    EXPECT_TRUE(batch.Empty());
    EXPECT_FALSE(batch.NeedsFlush(s, true));
}

} // namespace
} // namespace kq::render
