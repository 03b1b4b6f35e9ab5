// The TWAIN manager's containers: the one-values it sets and the resolution
// it chooses from what a source answers.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "agent/scanning/twain_capability.h"

namespace {

// TWAIN records are packed: their fields are compared as copies.
template <class T>
T Copy(T value) {
    return value;
}

using vexlo::ChooseResolution;

struct Fix {
    TW_INT16 whole;
    TW_UINT16 frac = 0;
};

// An enumeration container; `numItems` may claim more items than it holds.
HGLOBAL Enumeration(TW_UINT16 itemType, const std::vector<Fix>& items, long numItems = -1) {
    const size_t header = offsetof(TW_ENUMERATION, ItemList);
    HGLOBAL handle = GlobalAlloc(GHND, header + 4 * items.size());
    auto* memory = static_cast<BYTE*>(GlobalLock(handle));
    TW_ENUMERATION list = {};
    list.ItemType = itemType;
    list.NumItems = static_cast<TW_UINT32>(numItems < 0 ? items.size() : numItems);
    std::memcpy(memory, &list, header);
    for (size_t i = 0; i < items.size(); ++i) {
        TW_FIX32 value{items[i].whole, items[i].frac};
        std::memcpy(memory + header + 4 * i, &value, 4);
    }
    GlobalUnlock(handle);
    return handle;
}

std::optional<TW_UINT32> Choose(const std::vector<TW_INT16>& dpis,
                                TW_UINT16 itemType = TWTY_FIX32) {
    std::vector<Fix> items;
    for (TW_INT16 dpi : dpis) {
        items.push_back({dpi, 0});
    }
    HGLOBAL list = Enumeration(itemType, items);
    auto chosen = ChooseResolution(TWON_ENUMERATION, list);
    GlobalFree(list);
    return chosen;
}

TEST(ResolutionChoice, TheFirstListedValueOfAtLeast200DpiElseTheLast) {
    EXPECT_EQ(Choose({75, 150, 300, 600}), 300u);
    EXPECT_EQ(Choose({75, 100, 150}), 150u);
    EXPECT_EQ(Choose({200, 100}), 200u);
    EXPECT_EQ(Choose({600, 300, 200}), 600u);
    EXPECT_EQ(Choose({100}), 100u);
}

TEST(ResolutionChoice, NothingForAnEmptyListAnotherItemTypeOrAnotherContainer) {
    EXPECT_EQ(Choose({}), std::nullopt);
    EXPECT_EQ(Choose({75, 300}, TWTY_UINT16), std::nullopt);
    EXPECT_EQ(Choose({75, 300}, TWTY_INT32), std::nullopt);
    HGLOBAL list = Enumeration(TWTY_FIX32, {{300, 0}});
    for (TW_UINT16 conType : {TWON_ONEVALUE, TWON_RANGE, TWON_ARRAY, TWON_DONTCARE16}) {
        EXPECT_EQ(ChooseResolution(conType, list), std::nullopt) << conType;
    }
    GlobalFree(list);
    EXPECT_EQ(ChooseResolution(TWON_ENUMERATION, nullptr), std::nullopt);
}

TEST(ResolutionChoice, TheFractionStaysInTheItemButTheWholeDpiDecides) {
    HGLOBAL list = Enumeration(TWTY_FIX32, {{150, 0x8000}, {250, 0x4000}});
    EXPECT_EQ(ChooseResolution(TWON_ENUMERATION, list), 0x400000FAu)
        << "150.5 dpi is below 200 dpi, whatever its fraction's bits";
    GlobalFree(list);
}

TEST(ResolutionChoice, ItemsBeyondTheContainersMemoryAreNotRead) {
    HGLOBAL claimsMore = Enumeration(TWTY_FIX32, {{75, 0}, {150, 0}}, 1000000);
    EXPECT_EQ(ChooseResolution(TWON_ENUMERATION, claimsMore), 150u)
        << "only the two items that are there";
    GlobalFree(claimsMore);
    HGLOBAL headerOnly = GlobalAlloc(GHND, 8);
    EXPECT_EQ(ChooseResolution(TWON_ENUMERATION, headerOnly), std::nullopt);
    GlobalFree(headerOnly);
}

TEST(OneValues, CarryTheirItemTypeAndTheValuesWhole32Bits) {
    HGLOBAL all = vexlo::MakeOneValue(TWTY_INT16, 0xFFFF);
    ASSERT_NE(all, nullptr);
    EXPECT_EQ(GlobalSize(all), 6u);
    auto* one = static_cast<TW_ONEVALUE*>(GlobalLock(all));
    EXPECT_EQ(Copy(one->ItemType), TWTY_INT16);
    EXPECT_EQ(Copy(one->Item), 0xFFFFu) << "-1 zero-extended";
    GlobalUnlock(all);
    EXPECT_EQ(vexlo::ReadOneValueItem(all), 0xFFFFu);
    GlobalFree(all);

    // 150.5 dpi: Whole 150 in the low half, Frac 0x8000 in the high half.
    HGLOBAL dpi = vexlo::MakeOneValue(TWTY_FIX32, 150u | (0x8000u << 16));
    one = static_cast<TW_ONEVALUE*>(GlobalLock(dpi));
    EXPECT_EQ(Copy(one->ItemType), TWTY_FIX32);
    EXPECT_EQ(Copy(one->Item), 150u | (0x8000u << 16)) << "the fraction kept";
    GlobalUnlock(dpi);
    GlobalFree(dpi);

    HGLOBAL tooSmall = GlobalAlloc(GHND, 4);
    EXPECT_EQ(vexlo::ReadOneValueItem(tooSmall), std::nullopt);
    GlobalFree(tooSmall);
    EXPECT_EQ(vexlo::ReadOneValueItem(nullptr), std::nullopt);
}

}  // namespace
