#pragma once

// The user's choice of how uploads are sent; the values are the combo box's indexes.
enum class TransferType { Ascii = 0, Binary = 1, Auto = 2 };
