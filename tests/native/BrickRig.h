// A virtual brick behind an in-memory tower with a session on top, all on a manual clock.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "CommandParser.h"
#include "MemoryTransport.h"
#include "Session.h"
#include "VirtualBrick.h"

namespace towerlink::test {

struct BrickRig {
    explicit BrickRig(MemoryTransportOptions options = {}, SessionOptions sessionOptions = {})
        : brick(clock, 7), tower(brick, clock, options), session(tower, clock, sessionOptions) {}

    ExecuteResult run(const std::string& text, CommandForm form = CommandForm::Lasm) {
        auto request = parseCommand(text, form);
        EXPECT_TRUE(request.ok()) << text;
        return session.execute(request.value());
    }

    // Runs a text that must succeed and returns its numeric answer.
    std::int32_t answer(const std::string& text) {
        ExecuteResult r = run(text);
        EXPECT_TRUE(r.ok()) << text << ": " << (r.ok() ? "" : r.error().message);
        return r.ok() ? r->value : -99999;
    }

    ManualClock clock{Micros{1000000}};
    VirtualBrick brick;
    MemoryTransport tower;
    Session session;
};

}  // namespace towerlink::test
