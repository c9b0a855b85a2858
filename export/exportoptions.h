#pragma once

// Shapes exported files for Second Life avatars: the motion starts with a
// reference frame that the Frames count includes. The export dialog sets it
// from the stored setting ("BVHIO" / "Second Life Opt") and at every click on
// its check box; the motion writer reads only this flag. False when the
// library loads.
extern bool secondLifeOption;
