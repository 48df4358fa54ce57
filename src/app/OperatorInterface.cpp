#include "app/OperatorInterface.h"

#include "app/MessageCatalog.h"

namespace zr7 {

void ShowInfo(OperatorInterface& op, const MessageCatalog& catalog, std::string_view text) {
  op.ShowBox({catalog.GetText(msg::ProgrammerCaption), std::string(text), BoxIcon::Information, BoxButtons::Ok});
}

void ShowNotice(OperatorInterface& op, const MessageCatalog& catalog, std::string_view text) {
  op.ShowBox({catalog.GetText(msg::ProgrammerCaption), std::string(text), BoxIcon::None, BoxButtons::Ok});
}

}  // namespace zr7
