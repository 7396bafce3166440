// The mirror's GPU program: a full-screen warp pass that samples the source image through the inverse
// homography, and a cursor pass that blends the pre-warped cursor sprite over it (and XORs the parts of
// a monochrome or masked-colour pointer that Windows XORs onto the screen).
// Output and source are addressed in [-1, +1]^2 with y growing downwards.
//
// Each pixel shader is compiled once per colour mode, chosen by these defines (none: the sample is
// written as it is, an SDR frame on an SDR output or an FP16 frame on an HDR one):
//   COLOUR_DECODE  sRGB-encoded samples become linear light times the pass's scale (SDR on HDR)
//   COLOUR_ENCODE  linear samples are scaled to the source's SDR white, clamped and sRGB-encoded (an
//                  FP16 frame on an SDR output)
//   XOR_SCALED     the XOR pass inverts relative to SDR white on a linear target (see PSCursorXor)
// The warp pass is compiled once more per footprint grid: FOOTPRINT_TAPS n (2 to 4) takes n x n
// samples over every pixel's footprint, for the tiles that need them (drawn through VSTiles); without
// it, the single bilinear sample. FOOTPRINT_CAP is the most samples per axis of the cursor's footprint
// filter; 1 compiles that filter out.
//
// Wine's HLSL compiler does not call user functions and lacks many intrinsics (any, ceil, frac, sqrt,
// rcp, ddx, GetDimensions, SampleLevel, the ternary operator, break, attributes), miscompiles loops,
// and does not substitute a macro's parameter passed on to another macro: the shared steps are
// macros over fixed names, and the sample grids are written out.

#ifndef FOOTPRINT_CAP
#define FOOTPRINT_CAP 4
#endif

cbuffer WarpCB : register(b0)
{
    float4 row0;
    float4 row1;
    float4 row2;
    float4 bounds;  // the part of the source shown, in texture coordinates: u0, v0, u1, v1
};

// The scale of each pass's decode (ColourMode.decode_scale): the SDR white level in scRGB units.
cbuffer ColourCB : register(b1)
{
    float4 warpColour;
    float4 cursorColour;
};

// What the footprint filter needs to know about the two images (FootprintCB).
cbuffer FootprintCB : register(b2)
{
    float4 sourceSize;    // the source's width and height in texels, then their inverses
    float4 reachScale;    // source width and height per output width (xy), per output height (zw)
    float4 spriteSize;    // the cursor sprite's width and height in texels
    float4 spriteReach0;  // sprite texels per output pixel right (xy) and down (zw), first triangle
    float4 spriteReach1;  // the same over the second triangle (u + v above 1)
};

Texture2D sourceTex : register(t0);
SamplerState linearSampler : register(s0);

struct VSOut
{
    float4 pos : SV_POSITION;
    float2 uv : TEXCOORD0;
};

// Turns colour `c` by the compiled colour mode; `mode.x` is the decode's scale, `mode.y` the encode's
// (what makes the source's SDR white 1.0). Each channel picks its curve's part with a plain branch.
#if COLOUR_DECODE
#define CONVERT_COLOUR(c, mode)                                   \
    {                                                             \
        float3 e = min(max(c, 0.0), 1.0);                         \
        c = pow((e + 0.055) / 1.055, 2.4);                        \
        float3 straight = e / 12.92;                              \
        if (e.r <= 0.04045) { c.r = straight.r; }                 \
        if (e.g <= 0.04045) { c.g = straight.g; }                 \
        if (e.b <= 0.04045) { c.b = straight.b; }                 \
        c = c * mode.x;                                           \
    }
#elif COLOUR_ENCODE
#define CONVERT_COLOUR(c, mode)                                   \
    {                                                             \
        float3 l = min(max(c * mode.y, 0.0), 1.0);                \
        c = 1.055 * pow(l, 1.0 / 2.4) - 0.055;                    \
        float3 straight = l * 12.92;                              \
        if (l.r <= 0.0031308) { c.r = straight.r; }               \
        if (l.g <= 0.0031308) { c.g = straight.g; }               \
        if (l.b <= 0.0031308) { c.b = straight.b; }               \
    }
#else
#define CONVERT_COLOUR(c, mode)
#endif

// One bilinear sample of the cursor's grid, by hand from Load, added to `sum`: at column tk and row tj
// of an nx x ny grid over the footprint spanned by fr and fd (texels) around texel position fq. Load
// because this sample sits under a branch that varies per pixel, where some compilers refuse or
// flatten a gradient sample. Clamp addressing as the sampler's.
#define FOOTPRINT_TAP_BODY                                                                        \
    {                                                                                             \
        float2 p = fq + fr * ((tk + 0.5) / nx - 0.5) + fd * ((tj + 0.5) / ny - 0.5);              \
        float2 base = floor(p);                                                                   \
        float2 w = p - base;                                                                      \
        int2 lo = int2(min(max(base, 0.0), last));                                                \
        int2 hi = int2(min(max(base + 1.0, 0.0), last));                                          \
        float4 t00 = sourceTex.Load(int3(lo.x, lo.y, 0));                                         \
        float4 t10 = sourceTex.Load(int3(hi.x, lo.y, 0));                                         \
        float4 t01 = sourceTex.Load(int3(lo.x, hi.y, 0));                                         \
        float4 t11 = sourceTex.Load(int3(hi.x, hi.y, 0));                                         \
        sum += lerp(lerp(t00, t10, w.x), lerp(t01, t11, w.x), w.y);                               \
    }
#define FOOTPRINT_TAP(k, j)                                                                       \
    if (k < nx && j < ny)                                                                         \
    {                                                                                             \
        float tk = k;                                                                             \
        float tj = j;                                                                             \
        FOOTPRINT_TAP_BODY                                                                        \
    }
// One sample of the warp pass's fixed grid: column tk and row tj of nx x ny over the footprint spanned
// by tr and td (in texture coordinates) around ft, kept between lo and hi. No branch surrounds it, so
// the sampler filters.
#define GRID_TAP(k, j)                                                                            \
    {                                                                                             \
        float tk = k;                                                                             \
        float tj = j;                                                                             \
        float2 p = ft + tr * ((tk + 0.5) / nx - 0.5) + td * ((tj + 0.5) / ny - 0.5);              \
        sum += sourceTex.Sample(linearSampler, min(max(p, lo), hi));                              \
    }

#if FOOTPRINT_CAP > 4
#error the footprint grid is written out for at most 4 samples per axis
#endif

// The cursor's footprint filter, decided per pixel (the sprite covers few pixels, so the branch costs
// little even where both sides run). A pixel whose footprint (the parallelogram spanned by `right` and
// `down`, in texels, around texel position `q`) reaches at most about one texel on both axes keeps
// `colour`, its single bilinear sample; a larger one gets the mean of an even grid of bilinear
// samples over it, one per texel of reach and axis, up to FOOTPRINT_CAP.
#define FOOTPRINT_FILTER(colour, q, right, down, size)                                            \
    {                                                                                             \
        float nx = min(max(floor(length(right) + 0.75), 1.0), FOOTPRINT_CAP);                     \
        float ny = min(max(floor(length(down) + 0.75), 1.0), FOOTPRINT_CAP);                      \
        if (nx * ny > 1.0)                                                                        \
        {                                                                                         \
            float2 fq = q;                                                                        \
            float2 fr = right;                                                                    \
            float2 fd = down;                                                                     \
            float2 last = size.xy - 1.0;                                                          \
            float4 sum = float4(0.0, 0.0, 0.0, 0.0);                                              \
            FOOTPRINT_TAP(0.0, 0.0) FOOTPRINT_TAP(1.0, 0.0) FOOTPRINT_TAP(2.0, 0.0) FOOTPRINT_TAP(3.0, 0.0) \
            FOOTPRINT_TAP(0.0, 1.0) FOOTPRINT_TAP(1.0, 1.0) FOOTPRINT_TAP(2.0, 1.0) FOOTPRINT_TAP(3.0, 1.0) \
            FOOTPRINT_TAP(0.0, 2.0) FOOTPRINT_TAP(1.0, 2.0) FOOTPRINT_TAP(2.0, 2.0) FOOTPRINT_TAP(3.0, 2.0) \
            FOOTPRINT_TAP(0.0, 3.0) FOOTPRINT_TAP(1.0, 3.0) FOOTPRINT_TAP(2.0, 3.0) FOOTPRINT_TAP(3.0, 3.0) \
            colour = sum / (nx * ny);                                                             \
        }                                                                                         \
    }

// One triangle that covers the whole viewport, made from the vertex id alone.
VSOut VSMain(uint id : SV_VertexID)
{
    VSOut o;
    o.uv = float2((id << 1) & 2, id & 2);
    o.pos = float4(2.0 * o.uv.x - 1.0, -2.0 * o.uv.y + 1.0, 0.0, 1.0);
    return o;
}

#if FOOTPRINT_TAPS == 2
#define FOOTPRINT_GRID GRID_TAP(0.0, 0.0) GRID_TAP(1.0, 0.0) GRID_TAP(0.0, 1.0) GRID_TAP(1.0, 1.0)
#elif FOOTPRINT_TAPS == 3
#define FOOTPRINT_GRID                                                                            \
    GRID_TAP(0.0, 0.0) GRID_TAP(1.0, 0.0) GRID_TAP(2.0, 0.0)                                      \
    GRID_TAP(0.0, 1.0) GRID_TAP(1.0, 1.0) GRID_TAP(2.0, 1.0)                                      \
    GRID_TAP(0.0, 2.0) GRID_TAP(1.0, 2.0) GRID_TAP(2.0, 2.0)
#elif FOOTPRINT_TAPS == 4
#define FOOTPRINT_GRID                                                                            \
    GRID_TAP(0.0, 0.0) GRID_TAP(1.0, 0.0) GRID_TAP(2.0, 0.0) GRID_TAP(3.0, 0.0)                   \
    GRID_TAP(0.0, 1.0) GRID_TAP(1.0, 1.0) GRID_TAP(2.0, 1.0) GRID_TAP(3.0, 1.0)                   \
    GRID_TAP(0.0, 2.0) GRID_TAP(1.0, 2.0) GRID_TAP(2.0, 2.0) GRID_TAP(3.0, 2.0)                   \
    GRID_TAP(0.0, 3.0) GRID_TAP(1.0, 3.0) GRID_TAP(2.0, 3.0) GRID_TAP(3.0, 3.0)
#elif defined(FOOTPRINT_TAPS)
#error the footprint grid is written out for 2 to 4 samples per axis
#endif

float4 PSMain(VSOut i) : SV_TARGET
{
    float3 c = float3(2.0 * i.uv.x - 1.0, 2.0 * i.uv.y - 1.0, 1.0);
    float3 h = float3(dot(row0.xyz, c), dot(row1.xyz, c), dot(row2.xyz, c));
    float2 s = h.xy / h.z;
    float2 t = (s + 1.0) * 0.5;
    // Samples stay half a texel inside the bounds, so the bilinear filter reads nothing of the desktop
    // beside a region; for the whole frame that is what clamp addressing does anyway.
    float2 lo = bounds.xy + 0.5 * sourceSize.zw;
    float2 hi = bounds.zw - 0.5 * sourceSize.zw;
#if FOOTPRINT_TAPS
    // The Jacobian of the inverse homography in closed form: how far the source point moves per unit
    // of normalised output x and y, then in source texels per output pixel; the grid spreads over it.
    float2 ds_dx = (float2(row0.x, row1.x) - s * row2.x) / h.z;
    float2 ds_dy = (float2(row0.y, row1.y) - s * row2.y) / h.z;
    float2 tr = ds_dx * reachScale.xy * sourceSize.zw;
    float2 td = ds_dy * reachScale.zw * sourceSize.zw;
    float2 ft = t;
    float nx = FOOTPRINT_TAPS;
    float ny = FOOTPRINT_TAPS;
    float4 sum = float4(0.0, 0.0, 0.0, 0.0);
    FOOTPRINT_GRID
    float4 sampled = sum / (nx * ny);
#else
    float4 sampled = sourceTex.Sample(linearSampler, min(max(t, lo), hi));
#endif
    float3 colour = sampled.rgb;
    CONVERT_COLOUR(colour, warpColour)
    float4 result = float4(colour, 1.0);
    // Outside the source (or its region) the picture is opaque black, never transparent.
    if (t.x < bounds.x || t.x > bounds.z || t.y < bounds.y || t.y > bounds.w)
    {
        result = float4(0.0, 0.0, 0.0, 1.0);
    }
    return result;
}

struct TileVSIn
{
    float2 pos : POSITION;
};

// The tiles drawn again with a footprint grid: clip positions on pixel edges, and the same texture
// coordinates the full-screen triangle gives there.
VSOut VSTiles(TileVSIn v)
{
    VSOut o;
    o.pos = float4(v.pos.x, v.pos.y, 0.0, 1.0);
    o.uv = float2((v.pos.x + 1.0) * 0.5, (1.0 - v.pos.y) * 0.5);
    return o;
}

struct CursorVSIn
{
    float2 pos : POSITION;
    float2 uv : TEXCOORD0;
};

VSOut VSCursor(CursorVSIn v)
{
    VSOut o;
    o.pos = float4(v.pos.x, v.pos.y, 0.0, 1.0);
    o.uv = v.uv;
    return o;
}

// Declares `sprite`, the sprite at this pixel, through the footprint filter where the warp draws it
// smaller. Its texture coordinates are interpolated linearly over each of the quad's two triangles, so
// each triangle has one reach, and the first holds u + v up to 1. (The name is fixed: Wine's
// preprocessor does not substitute a parameter passed on to another macro.)
#if FOOTPRINT_CAP > 1
#define SPRITE_SAMPLE(uv)                                         \
    float4 sprite = sourceTex.Sample(linearSampler, uv);          \
    {                                                             \
        float4 reach = spriteReach0;                              \
        if (uv.x + uv.y > 1.0) { reach = spriteReach1; }          \
        float2 q = uv * spriteSize.xy - 0.5;                      \
        float2 right = reach.xy;                                  \
        float2 down = reach.zw;                                   \
        FOOTPRINT_FILTER(sprite, q, right, down, spriteSize)      \
    }
#else
#define SPRITE_SAMPLE(uv) float4 sprite = sourceTex.Sample(linearSampler, uv);
#endif

// All four channels: the cursor's own straight alpha goes to the blender.
float4 PSCursor(VSOut i) : SV_TARGET
{
    SPRITE_SAMPLE(i.uv)
    float3 colour = sprite.rgb;
    CONVERT_COLOUR(colour, cursorColour)
    return float4(colour, sprite.a);
}

// The colour a monochrome or masked-colour pointer XORs onto the screen: that of its alpha-0 pixels,
// for the XOR blend (white inverts the frame under the I-beam). On a linear target the blend inverts
// relative to SDR white W: with the blend factor W / 2 and this output doubled, W x + F (1 - 2 x) is
// x (W - F) + F (1 - x); a floor pass after it keeps frames brighter than W from going negative.
float4 PSCursorXor(VSOut i) : SV_TARGET
{
    SPRITE_SAMPLE(i.uv)
#if XOR_SCALED
    return float4(2.0 * sprite.rgb * (1.0 - sprite.a), 0.0);
#else
    return float4(sprite.rgb * (1.0 - sprite.a), 0.0);
#endif
}

// Nothing: with a MAX blend it lifts what the XOR pass left below zero back to black.
float4 PSCursorFloor(VSOut i) : SV_TARGET
{
    return float4(0.0, 0.0, 0.0, 0.0);
}
