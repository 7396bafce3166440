// The mirror's GPU program: a full-screen warp pass that samples the source image through the inverse
// homography, and a cursor pass that blends the pre-warped cursor sprite over it.
// Output and source are addressed in [-1, +1]^2 with y growing downwards.

cbuffer WarpCB : register(b0)
{
    float4 row0;
    float4 row1;
    float4 row2;
};

Texture2D sourceTex : register(t0);
SamplerState linearSampler : register(s0);

struct VSOut
{
    float4 pos : SV_POSITION;
    float2 uv : TEXCOORD0;
};

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
    float4 result = float4(sourceTex.Sample(linearSampler, t).rgb, 1.0);
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
    return sourceTex.Sample(linearSampler, i.uv);
}
