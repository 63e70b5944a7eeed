#pragma once

namespace rariduze {

// How the start of RunProgramAndWait is answered. Wine has no elevation: it starts a program
// that asks for administrator rights as any other. Tests there make the system answer as
// Windows does: the first start fails for want of rights, and the user then grants them (the
// elevated start really runs) or declines (it is not made).
enum class ElevationForTesting { kAsTheSystemSays, kRequired, kRequiredAndDeclined };
void SetElevationForTesting(ElevationForTesting answer);

}  // namespace rariduze
