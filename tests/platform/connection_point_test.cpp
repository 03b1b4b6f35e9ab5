// Connection points hold their sinks as COM does: Advise asks the sink for
// the outgoing interface and keeps that reference until Unadvise.
#include <windows.h>

#include <gtest/gtest.h>

#include "support/com_objects.h"

namespace {

constexpr IID kEvents = {
    0x6B1C2D3E, 0x2222, 0x4333, {0x94, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0x01}};

using Source = test_support::EventSource;

TEST(ConnectionPoint, AdviseHoldsTheSinkUntilUnadvise) {
    bool sourceDestroyed = false;
    auto* source = new Source(kEvents, &sourceDestroyed);
    IConnectionPoint* point = nullptr;
    ASSERT_EQ(source->FindConnectionPoint(kEvents, &point), S_OK);

    bool sinkDestroyed = false;
    auto* sink = new test_support::CountedDispatch(&sinkDestroyed);
    sink->extra = &kEvents;
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(sink, &cookie), S_OK);
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(sink->Count(), 2u);  // asked for the events' interface, which is kept

    source->Fire(7);
    ASSERT_EQ(sink->calls.size(), 1u);
    EXPECT_EQ(sink->calls[0], 7);

    EXPECT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_EQ(sink->Count(), 1u);
    EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION);
    source->Fire(8);
    EXPECT_EQ(sink->calls.size(), 1u);

    IID iid = IID_NULL;
    EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_EQ(iid, kEvents);
    point->Release();
    source->Release();
    EXPECT_TRUE(sourceDestroyed);
    sink->Release();
    EXPECT_TRUE(sinkDestroyed);
}

TEST(ConnectionPoint, SinkWithoutTheInterfaceCannotConnect) {
    bool destroyed = false;
    auto* source = new Source(kEvents, &destroyed);
    IConnectionPoint* point = nullptr;
    ASSERT_EQ(source->FindConnectionPoint(kEvents, &point), S_OK);
    auto* sink = new test_support::PlainUnknown;
    DWORD cookie = 5;
    EXPECT_EQ(point->Advise(sink, &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(sink->Count(), 1u);
    EXPECT_EQ(point->Advise(nullptr, &cookie), E_POINTER);
    sink->Release();
    IConnectionPoint* other = reinterpret_cast<IConnectionPoint*>(1);
    EXPECT_EQ(source->FindConnectionPoint(IID_IDispatch, &other), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(other, nullptr);
    point->Release();
    source->Release();
}

TEST(ConnectionPoint, PointCountsItsContainerAndReleasesSinksWithIt) {
    bool sourceDestroyed = false;
    auto* source = new Source(kEvents, &sourceDestroyed);
    IConnectionPoint* point = nullptr;
    ASSERT_EQ(source->FindConnectionPoint(kEvents, &point), S_OK);
    source->Release();
    EXPECT_FALSE(sourceDestroyed);  // the point's reference is the container's

    bool sinkDestroyed = false;
    auto* sink = new test_support::CountedDispatch(&sinkDestroyed);
    sink->extra = &kEvents;
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(sink, &cookie), S_OK);
    sink->Release();
    EXPECT_FALSE(sinkDestroyed);
    point->Release();  // the container goes and releases the sink still connected
    EXPECT_TRUE(sourceDestroyed);
    EXPECT_TRUE(sinkDestroyed);
}

}  // namespace
