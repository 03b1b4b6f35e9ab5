// The library's exports and the plug-in's copy of the browser's table.
#include <gtest/gtest.h>

#include <cstring>

#include "browser_table.h"
#include "plugins/npapi/browser_funcs.h"
#include "plugins/npapi/entry_points.h"
#include "plugins/npapi/plugin_instance.h"

namespace {

TEST(NpGetEntryPoints, RefusesANullTable) {
    EXPECT_EQ(NP_GetEntryPoints(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
}

TEST(NpGetEntryPoints, FillsTheThirteenEntriesAndLeavesTheBrowsersFields) {
    NPPluginFuncs funcs;
    memset(&funcs, 0xA5, sizeof(funcs));
    funcs.size = 1234;
    funcs.version = 77;
    NPPluginFuncs untouched = funcs;
    ASSERT_EQ(NP_GetEntryPoints(&funcs), NPERR_NO_ERROR);
    EXPECT_EQ(funcs.size, 1234);
    EXPECT_EQ(funcs.version, 77);
    EXPECT_EQ(funcs.newp, &NPP_New);
    EXPECT_EQ(funcs.destroy, &NPP_Destroy);
    EXPECT_EQ(funcs.setwindow, &NPP_SetWindow);
    EXPECT_EQ(funcs.newstream, &NPP_NewStream);
    EXPECT_EQ(funcs.destroystream, &NPP_DestroyStream);
    EXPECT_EQ(funcs.asfile, &NPP_StreamAsFile);
    EXPECT_EQ(funcs.writeready, &NPP_WriteReady);
    EXPECT_EQ(funcs.write, &NPP_Write);
    EXPECT_EQ(funcs.print, &NPP_Print);
    EXPECT_EQ(funcs.event, &NPP_HandleEvent);
    EXPECT_EQ(funcs.urlnotify, &NPP_URLNotify);
    EXPECT_EQ(funcs.javaClass, nullptr);
    EXPECT_EQ(funcs.getvalue, &NPP_GetValue);
    EXPECT_EQ(funcs.setvalue, &NPP_SetValue);
    // Nothing after setvalue is written.
    size_t after = offsetof(NPPluginFuncs, gotfocus);
    EXPECT_EQ(memcmp(reinterpret_cast<char*>(&funcs) + after,
                     reinterpret_cast<char*>(&untouched) + after, sizeof(funcs) - after),
              0);
}

TEST(NpInitialize, RefusesANullTable) {
    EXPECT_EQ(NP_Initialize(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
}

// Each field of the table gets a value of its own, so that the copy shows
// which field went where.
NPNetscapeFuncs NumberedTable() {
    NPNetscapeFuncs table;
    auto* slots = reinterpret_cast<uintptr_t*>(reinterpret_cast<char*>(&table) +
                                               offsetof(NPNetscapeFuncs, geturl));
    size_t count = (sizeof(table) - offsetof(NPNetscapeFuncs, geturl)) / sizeof(uintptr_t);
    for (size_t i = 0; i < count; ++i) {
        slots[i] = 0x1000 + i;
    }
    table.size = sizeof(table);
    table.version = 27;
    return table;
}

TEST(NpInitialize, CopiesEveryFieldButTheJavaEntries) {
    NPNetscapeFuncs table = NumberedTable();
    ASSERT_EQ(NP_Initialize(&table), NPERR_NO_ERROR);
    NPNetscapeFuncs expected = table;
    expected.getJavaEnv = nullptr;
    expected.getJavaPeer = nullptr;
    const NPNetscapeFuncs& copy = vexlo::npapi::BrowserFuncs();
    EXPECT_EQ(memcmp(&copy, &expected, sizeof(expected)), 0);
    EXPECT_EQ(copy.setexception, table.setexception);
    EXPECT_EQ(copy.getJavaEnv, nullptr);
    EXPECT_EQ(copy.getJavaPeer, nullptr);

    // Leave a working table behind for the tests that follow.
    NPNetscapeFuncs real = browser::MakeBrowserFuncs();
    ASSERT_EQ(NP_Initialize(&real), NPERR_NO_ERROR);
}

TEST(NpInitialize, RefusesATableThatStopsShortOfSetException) {
    NPNetscapeFuncs real = browser::MakeBrowserFuncs();
    ASSERT_EQ(NP_Initialize(&real), NPERR_NO_ERROR);
    NPNetscapeFuncs shortTable = NumberedTable();
    shortTable.size = offsetof(NPNetscapeFuncs, setexception);
    EXPECT_EQ(NP_Initialize(&shortTable), NPERR_INVALID_FUNCTABLE_ERROR);
    EXPECT_EQ(vexlo::npapi::BrowserFuncs().memalloc, real.memalloc) << "the copy stays as it was";
}

TEST(NpShutdown, Succeeds) {
    EXPECT_EQ(NP_Shutdown(), NPERR_NO_ERROR);
}

}  // namespace
