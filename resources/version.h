// The product's version and copyright, shared by the version block and the
// About box.
#pragma once

#define KS_VERSION_NUMBERS 4,0,4,0
#define KS_VERSION_TEXT "4.0.4.0"
#define KS_COPYRIGHT_TEXT "Copyright (C) 2026 KestrinCorp. All rights reserved."
