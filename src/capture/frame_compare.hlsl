// Which tiles of a new desktop frame differ from the kept one, in two passes without loops (which not
// every system's shader compiler translates faithfully): the first draws one pixel for each 4x4 block
// of texels, 1 where any channel of any of its texels differs between the two images; the second one
// pixel for each 4x4 of those, that is each 16x16 tile. Only the blocks the frame's rectangles name are
// drawn (scissor); the rest stay cleared to 0. Reads past an image's edge are clamped to it. The
// sixteen reads are written out: some compilers' preprocessors do not pass a macro's argument on to
// another macro.

cbuffer CompareCB : register(b0)
{
    int4 limit;  // x, y: the last texel of the images read by this pass
};

Texture2D<float4> freshTex : register(t0);
Texture2D<float4> keptTex : register(t1);
Texture2D<float> blockTex : register(t2);

// One triangle that covers the whole viewport, made from the vertex id alone.
float4 VSCompare(uint id : SV_VertexID) : SV_POSITION
{
    float2 uv = float2((id << 1) & 2, id & 2);
    return float4(2.0 * uv.x - 1.0, -2.0 * uv.y + 1.0, 0.0, 1.0);
}

#define COMPARE_TEXEL(dx, dy)                                                        \
    {                                                                                \
        int3 at = int3(min(origin + int2(dx, dy), limit.xy), 0);                      \
        float4 d = abs(freshTex.Load(at) - keptTex.Load(at));                        \
        difference = max(difference, max(max(d.r, d.g), max(d.b, d.a)));            \
    }

float PSCompareBlock(float4 pos : SV_POSITION) : SV_TARGET
{
    int2 origin = int2(pos.xy) * 4;
    float difference = 0.0;
    COMPARE_TEXEL(0, 0) COMPARE_TEXEL(1, 0) COMPARE_TEXEL(2, 0) COMPARE_TEXEL(3, 0)
    COMPARE_TEXEL(0, 1) COMPARE_TEXEL(1, 1) COMPARE_TEXEL(2, 1) COMPARE_TEXEL(3, 1)
    COMPARE_TEXEL(0, 2) COMPARE_TEXEL(1, 2) COMPARE_TEXEL(2, 2) COMPARE_TEXEL(3, 2)
    COMPARE_TEXEL(0, 3) COMPARE_TEXEL(1, 3) COMPARE_TEXEL(2, 3) COMPARE_TEXEL(3, 3)
    float changed = 0.0;
    if (difference > 0.0)
    {
        changed = 1.0;
    }
    return changed;
}

#define REDUCE_TEXEL(dx, dy) changed = max(changed, blockTex.Load(int3(min(origin + int2(dx, dy), limit.xy), 0)));

float PSReduceBlock(float4 pos : SV_POSITION) : SV_TARGET
{
    int2 origin = int2(pos.xy) * 4;
    float changed = 0.0;
    REDUCE_TEXEL(0, 0) REDUCE_TEXEL(1, 0) REDUCE_TEXEL(2, 0) REDUCE_TEXEL(3, 0)
    REDUCE_TEXEL(0, 1) REDUCE_TEXEL(1, 1) REDUCE_TEXEL(2, 1) REDUCE_TEXEL(3, 1)
    REDUCE_TEXEL(0, 2) REDUCE_TEXEL(1, 2) REDUCE_TEXEL(2, 2) REDUCE_TEXEL(3, 2)
    REDUCE_TEXEL(0, 3) REDUCE_TEXEL(1, 3) REDUCE_TEXEL(2, 3) REDUCE_TEXEL(3, 3)
    return changed;
}
