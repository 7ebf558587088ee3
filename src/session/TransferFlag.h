#pragma once

#include <QtGlobal>

// The type an upload is sent with.
enum class TransferFlag : quint32 { Ascii = 1, Binary = 2 };
