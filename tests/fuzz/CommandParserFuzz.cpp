// libFuzzer target: any text through both command forms. Besides crashes and undefined
// behaviour it checks that every accepted text yields a request the session can send, and that
// every rejection points inside the text.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "CommandParser.h"
#include "Opcodes.h"

using namespace towerlink;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (CommandForm form : {CommandForm::Lasm, CommandForm::Statement}) {
        auto r = parseCommand(text, form);
        if (r.ok()) {
            const op::OpcodeInfo* info = op::findOpcode(r->opcode());
            if (info == nullptr || info->opcode != r->opcode() ||
                r->payload.size() != 1u + info->paramLength) {
                std::abort();
            }
        } else if (r.error().column < 1 || r.error().column > static_cast<int>(size) + 1 ||
                   r.error().message.empty()) {
            std::abort();
        }
    }
    return 0;
}
