#pragma once

namespace vintrel {

// An aspect ratio as the slot table holds it: empty until a photo is placed or a
// layout is opened, single precision when measured from a picture, double when
// read from a layout file. Layout files write the three differently.
struct Ratio {
    enum Kind { Empty, Single, Double };
    Kind kind = Empty;
    double value = 0; // 0 while empty; exactly a float's value when Single

    static Ratio single(float v) { return {Single, double(v)}; }
    static Ratio fromDouble(double v) { return {Double, v}; }
    friend bool operator==(const Ratio &a, const Ratio &b) { return a.kind == b.kind && a.value == b.value; }
};

} // namespace vintrel
