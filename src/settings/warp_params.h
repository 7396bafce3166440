// The five warp values: how the mirror turns the picture. Kept with the settings, which store them,
// and handed by value to the warp geometry and the session.
#pragma once

namespace kelvane {

// The warp values, passed by value. The default is a horizontal mirror with everything else off.
struct WarpParams {
    bool mirror_h = true;
    bool mirror_v = false;
    float keystone_tb = 0.0f;  // top/bottom keystone; used range -0.85 ... +0.85
    float keystone_lr = 0.0f;  // left/right keystone; used range -0.85 ... +0.85
    float rotation = 0.0f;     // degrees; positive turns the picture clockwise on the screen

    friend bool operator==(const WarpParams& a, const WarpParams& b) {
        return a.mirror_h == b.mirror_h && a.mirror_v == b.mirror_v && a.keystone_tb == b.keystone_tb &&
               a.keystone_lr == b.keystone_lr && a.rotation == b.rotation;
    }
    friend bool operator!=(const WarpParams& a, const WarpParams& b) { return !(a == b); }
};

}  // namespace kelvane
