#pragma once
// Preview pictures of the tracks for people (not shipped): a shaded relief coloured by tile type,
// one pixel per tile, with the centre line, the features and the start gate drawn over it.
#include "course.h"
#include "tracks.h"

// PNG bytes; `course` may be null (no overlay). Small tracks are enlarged to at least 256 pixels.
Bytes preview_track(const TrackBuild& track, const Course* course);
// PNG bytes: the height of the ground along the centre line over one lap (x: distance, y:
// height, 4 px per foot), so the jumps, whoops and climbs can be checked by eye.
Bytes preview_profile(const TrackBuild& track, const Course& course);
