#pragma once
// A small double-precision vector for the simulation's geometry (contacts, falls, the rider pose).
#include <cmath>

struct SimVec {
    double x, y, z;
};
inline SimVec operator+(SimVec a, SimVec b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline SimVec operator-(SimVec a, SimVec b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline SimVec operator*(SimVec a, double s) {
    return {a.x * s, a.y * s, a.z * s};
}
inline SimVec operator-(SimVec a) {
    return {-a.x, -a.y, -a.z};
}
inline double dot(SimVec a, SimVec b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline SimVec cross(SimVec a, SimVec b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length(SimVec a) {
    return std::sqrt(dot(a, a));
}
inline bool finite(SimVec a) {
    return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z);
}
// a / |a|, or the fallback when a is too short (or not finite) to have a direction.
inline SimVec normalised_or(SimVec a, SimVec fallback) {
    double len = length(a);
    if (!(len > 1e-12) || !std::isfinite(len)) return fallback;
    return a * (1 / len);
}
