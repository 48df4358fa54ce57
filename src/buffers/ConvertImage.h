#pragma once
// Converting an image file from one format to another the way the programmer itself loads
// and saves it: the command-line `convert`.

#include <string>

namespace zr7 {

class MessageCatalog;
class OperatorInterface;

// Loads `in` as the command line's Flash buffer would (or the Eeprom buffer: no padding to an
// even length) and writes it to `out`; questions go to `op`, and on success the buffer's status
// text. An input that is not the Intel HEX its name promises, or that holds no data, leaves
// `out` as it was. True on success; every failure has been shown to `op`.
bool ConvertImage(OperatorInterface& op, const MessageCatalog& catalog, const std::string& in,
                  const std::string& out, bool eeprom);

}  // namespace zr7
