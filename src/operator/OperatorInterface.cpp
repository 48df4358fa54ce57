#include "operator/OperatorInterface.h"

#include "text/MessageCatalog.h"
#include "operator/ProgressOperation.h"

namespace zr7 {

std::int32_t OperatorInterface::RunProgress(ProgressOperation& op) { return RunProgressModal(op); }

void ShowInfo(OperatorInterface& op, const MessageCatalog& catalog, std::string_view text) {
  op.ShowBox({catalog.GetText(msg::ProgrammerCaption), std::string(text), BoxIcon::Information, BoxButtons::Ok});
}

void ShowNotice(OperatorInterface& op, const MessageCatalog& catalog, std::string_view text) {
  op.ShowBox({catalog.GetText(msg::ProgrammerCaption), std::string(text), BoxIcon::None, BoxButtons::Ok});
}

}  // namespace zr7
