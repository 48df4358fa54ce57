#pragma once
// How a refused chip command is worded: the action as the window names it, and the refusal.

#include <string>
#include <string_view>

#include "devices/ChipActions.h"

namespace zr7 {

struct DeviceRecord;
class MessageCatalog;

// The action as the window names it, in the catalog's language.
std::string ActionLabel(const MessageCatalog& catalog, ChipAction action);

// "The command '...' is not available for the ...: nothing was sent to the board."
std::string NotAvailableText(const MessageCatalog& catalog, std::string_view command, const DeviceRecord& device);

}  // namespace zr7
