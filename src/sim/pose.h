#pragma once
// The pose of the drawn rider. The physics has one rigid body for the rider; the drawn rider is a
// skinned model of nine bones whose rest pose is a T-pose. Each frame its arms reach from the
// shoulders to the handlebar grips, its legs from the hips to the foot points of the falls model,
// and its head turns to look along the path ahead. Everything here reads the bodies and changes no
// simulation state; nothing allocates.

struct Rider;

// The model's skeleton, in the order the skinned draw takes the bones.
enum PoseBone {
    BoneLeftForearm,
    BoneRightForearm,
    BoneLeftUpperArm,
    BoneRightUpperArm,
    BoneLeftShin,
    BoneRightShin,
    BoneLeftThigh,
    BoneRightThigh,
    BoneTorso
};
constexpr int k_pose_bones = 9;

// One bone: the joint it turns about in the rest model, where that joint goes in the world, and
// the bone's rotation as three columns (the images of the model's x, y and z axes). Every rotation
// is orthonormal and right-handed, and every value finite for a finite body pose.
struct BonePlacement {
    float centre[3];
    float translation[3];
    float rotation[9]; // column by column
};

struct RiderPose {
    BonePlacement bones[k_pose_bones];
};

// The head model's placement: at the neck, looking along minus the third column.
struct HeadPose {
    float position[3];
    float rotation[9]; // column by column
};

// The middle joint of a two-bone limb from root to end with bone lengths first and second, bent
// towards the hint. The reach is held between |first - second| and 0.95 x (first + second), so a
// reachable limb keeps both lengths and is never fully straight, and one that cannot reach points
// at its target (stretched) or folds (too near). Root and end at one point, or a hint on the reach
// line, still give a finite joint at the first length from the root.
void two_bone_joint(const double root[3], const double end[3], double first, double second,
                    const double hint[3], double joint[3]);

// The nine bone placements for the rider's current bodies, with the feet from foot_pose.
RiderPose rider_pose(const Rider& rider);

// The head at the neck, looking ahead along the rider body's motion within the neck's limits.
HeadPose head_pose(const Rider& rider);
