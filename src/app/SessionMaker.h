#pragma once

#include "SessionFactory.h"

#include <memory>

// The program's session factory (SessionFactory): the session that speaks protocol. The only
// place that names the engines; the benchmarks and the tests that run the session thread use it
// too.
std::unique_ptr<RemoteOperations> makeSession(Protocol protocol);
