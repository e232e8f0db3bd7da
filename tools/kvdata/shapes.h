#pragma once
// The stock collision shapes: sphere sets in ".shp" form ("%d" sphere count, then per sphere the
// centre x y z in body coordinates, radius, friction, contact stiffness and contact damping) that
// fit the shared bike geometry (each body's centre is its origin, the bike built pointing towards
// -z, y up) and a seated rider.
#include "output.h"

#include <string>
#include <vector>

struct ShapeSphere {
    double x, y, z, radius, friction, stiffness, damping;
};

struct StockShape {
    const char* file; // archive name, e.g. "generic_frame.shp"
    std::vector<ShapeSphere> spheres;
};

// The seven shapes in the order the fixed-file digest reads them: frame, fork upper, fork lower,
// swingarm, front wheel, rear wheel, rider.
std::vector<StockShape> shapes_stock();
std::string shape_text(const StockShape& shape);
