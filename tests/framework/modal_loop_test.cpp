#include "framework/modal_loop.h"

#include <gtest/gtest.h>

#include <optional>
#include <thread>

namespace {

TEST(ModalLoop, ScopesCountPerOwnerAndNestAndUnwind) {
    int first = 0;
    int second = 0;
    EXPECT_EQ(fw::ModalLoopsOnStack(&first), 0);
    EXPECT_EQ(fw::ModalLoopsOnStack(nullptr), 0);
    {
        fw::CModalLoopScope outer(&first);
        EXPECT_EQ(fw::ModalLoopsOnStack(&first), 1);
        EXPECT_EQ(fw::ModalLoopsOnStack(&second), 0);
        {
            // A loop of another object inside the first one's, then the
            // first one's again (a dialog re-entered from its own loop).
            fw::CModalLoopScope other(&second);
            fw::CModalLoopScope inner(&first);
            EXPECT_EQ(fw::ModalLoopsOnStack(&first), 2);
            EXPECT_EQ(fw::ModalLoopsOnStack(&second), 1);
        }
        EXPECT_EQ(fw::ModalLoopsOnStack(&first), 1);
        EXPECT_EQ(fw::ModalLoopsOnStack(&second), 0);
    }
    EXPECT_EQ(fw::ModalLoopsOnStack(&first), 0);

    // A scope that outlives one opened after it still leaves the right count.
    std::optional<fw::CModalLoopScope> early(std::in_place, &first);
    fw::CModalLoopScope late(&second);
    early.reset();
    EXPECT_EQ(fw::ModalLoopsOnStack(&first), 0);
    EXPECT_EQ(fw::ModalLoopsOnStack(&second), 1);
}

TEST(ModalLoop, AnotherThreadsLoopIsNotOnThisStack) {
    int owner = 0;
    fw::CModalLoopScope here(&owner);
    int seenThere = -1;
    std::thread([&] { seenThere = fw::ModalLoopsOnStack(&owner); }).join();
    EXPECT_EQ(seenThere, 0);
    EXPECT_EQ(fw::ModalLoopsOnStack(&owner), 1);
}

}  // namespace
