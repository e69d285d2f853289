#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace skyglide {

class THostLink;

// Reads a whole text as a signed 32-bit integer, the way the host writes
// numbers: leading blanks (spaces, tabs) and one sign are accepted; "$", "x"
// or "0x" (any case) before the digits read them as hexadecimal when
// allowHex is set. Nothing may follow the digits. A decimal value outside
// the 32-bit range is invalid; up to eight hexadecimal digits give the
// 32-bit pattern ("$FFFFFFFF" is -1).
bool TryParseInteger(std::string_view text, std::int32_t& value, bool allowHex = true);

// Connects host and settles its process number from the program's first
// argument (arguments come without the program itself). On return the host
// is connected and the process number valid; on a refusal or failure of the
// host, or a malformed number, it ends the program itself
// (THostLink::EndProgramAtOnce()), so a return always means success. A host
// call that fails after the connection throws EHostServerError.
void ReadStartupParameters(THostLink& host, const std::vector<std::string>& arguments);

} // namespace skyglide
