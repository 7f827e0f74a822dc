#pragma once

// The publisher's notice of rights: the last line of the closing box and the
// copyright in the executable's version information, which the resource
// compiler reads from here too.
#define PORKADO_RIGHTS_NOTICE "Copyright (C) TAVRO. All rights reserved."
