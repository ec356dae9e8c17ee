// Client-chosen text on its way to the log: control characters become visible escapes,
// so a nickname or chat line can neither forge log lines nor drive the terminal.
// The escaping itself is the engine's (Engine/Context.h).
#pragma once

#include <Engine/Context.h>
