// The mirror's GPU program: a full-screen warp pass that samples the source image through the inverse
// homography, and a cursor pass that blends the pre-warped cursor sprite over it (and XORs the parts of
// a monochrome or masked-colour pointer that Windows XORs onto the screen).
// Output and source are addressed in [-1, +1]^2 with y growing downwards.

cbuffer WarpCB : register(b0)
{
    float4 row0;
    float4 row1;
    float4 row2;
};

// How each pass turns its sample into the target's colour (ColourMode): x above 0 decodes sRGB to
// linear light and scales it (SDR content on an HDR output), y above 0 encodes linear light as sRGB.
cbuffer ColourCB : register(b1)
{
    float4 warpColour;
    float4 cursorColour;
};

Texture2D sourceTex : register(t0);
SamplerState linearSampler : register(s0);

struct VSOut
{
    float4 pos : SV_POSITION;
    float2 uv : TEXCOORD0;
};

// A macro rather than functions: the HLSL compiler of some systems does not call user functions. It
// turns colour `c` by a ColourMode: x above 0 decodes sRGB to linear light and scales it, y above 0
// encodes clamped linear light as sRGB. Each channel picks its curve's part with a plain branch.
#define CONVERT_COLOUR(c, mode)                                   \
    if (mode.x > 0.0)                                             \
    {                                                             \
        float3 e = min(max(c, 0.0), 1.0);                         \
        c = pow((e + 0.055) / 1.055, 2.4);                        \
        float3 straight = e / 12.92;                              \
        if (e.r <= 0.04045) { c.r = straight.r; }                 \
        if (e.g <= 0.04045) { c.g = straight.g; }                 \
        if (e.b <= 0.04045) { c.b = straight.b; }                 \
        c = c * mode.x;                                           \
    }                                                             \
    if (mode.y > 0.0)                                             \
    {                                                             \
        float3 l = min(max(c, 0.0), 1.0);                         \
        c = 1.055 * pow(l, 1.0 / 2.4) - 0.055;                    \
        float3 straight = l * 12.92;                              \
        if (l.r <= 0.0031308) { c.r = straight.r; }               \
        if (l.g <= 0.0031308) { c.g = straight.g; }               \
        if (l.b <= 0.0031308) { c.b = straight.b; }               \
    }

// One triangle that covers the whole viewport, made from the vertex id alone.
VSOut VSMain(uint id : SV_VertexID)
{
    VSOut o;
    o.uv = float2((id << 1) & 2, id & 2);
    o.pos = float4(2.0 * o.uv.x - 1.0, -2.0 * o.uv.y + 1.0, 0.0, 1.0);
    return o;
}

float4 PSMain(VSOut i) : SV_TARGET
{
    float3 c = float3(2.0 * i.uv.x - 1.0, 2.0 * i.uv.y - 1.0, 1.0);
    float3 h = float3(dot(row0.xyz, c), dot(row1.xyz, c), dot(row2.xyz, c));
    float2 s = h.xy / h.z;
    float2 t = (s + 1.0) * 0.5;
    float3 colour = sourceTex.Sample(linearSampler, t).rgb;
    CONVERT_COLOUR(colour, warpColour)
    float4 result = float4(colour, 1.0);
    // Outside the source the picture is opaque black, never transparent.
    if (t.x < 0.0 || t.x > 1.0 || t.y < 0.0 || t.y > 1.0)
    {
        result = float4(0.0, 0.0, 0.0, 1.0);
    }
    return result;
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

// All four channels: the cursor's own straight alpha goes to the blender.
float4 PSCursor(VSOut i) : SV_TARGET
{
    float4 sprite = sourceTex.Sample(linearSampler, i.uv);
    float3 colour = sprite.rgb;
    CONVERT_COLOUR(colour, cursorColour)
    return float4(colour, sprite.a);
}

// The colour a monochrome or masked-colour pointer XORs onto the screen: that of its alpha-0 pixels,
// for the XOR blend (white inverts the frame under the I-beam).
float4 PSCursorXor(VSOut i) : SV_TARGET
{
    float4 c = sourceTex.Sample(linearSampler, i.uv);
    return float4(c.rgb * (1.0 - c.a), 0.0);
}
