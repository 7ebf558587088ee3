#pragma once

#include "Protocol.h"
#include "RemoteOperations.h"

#include <functional>
#include <memory>

// Makes the session that speaks a protocol; the program's own names the engines (the session
// floor knows none of them). Called on the thread the session is to live on. Never returns null.
using SessionFactory = std::function<std::unique_ptr<RemoteOperations>(Protocol)>;
