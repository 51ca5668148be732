// Secure Boot as it bears on loading another image.
#pragma once

#include "platform/Efi.h"

// Whether the firmware enforces Secure Boot: its SecureBoot variable is 1.
BOOLEAN SecureBootIsOn();

// Whether shim has taken over image loading: its image-loader protocol is
// there while Secure Boot is on. shim then frees every image it starts once
// that image's entry returns, which a resident driver cannot survive.
BOOLEAN ShimLoadsImages();
