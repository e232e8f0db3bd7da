#pragma once
// The rider body rides on springs relative to the frame: two contact joints (fore-aft and vertical)
// recreated every tick in the contact group, and the softness of the rider hinge.
#include <ode/ode.h>

struct Rider;

// The physics library's ERP and CFM for a spring stiffness kp and damping kd over one tick.
void spring_erp_cfm(double kp, double kd, double& erp, double& cfm);

// Sets this tick's rider springs (step 8 of the rider step).
void rider_springs(Rider& rider);
