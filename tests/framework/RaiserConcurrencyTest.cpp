// One thread ends a pending begin or end while another destroys or moves the
// raiser; built also under ThreadSanitizer.
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "EventTime.h"
#include "FrameworkTestHost.h"
#include "LengthyDetectorEventRaiser.h"

namespace {

using ORQ8::Framework::CDetectorEvent;
using ORQ8::Framework::CDetectorEventFactory;
using ORQ8::Framework::CLengthyDetectorEventRaiser;
using ORQ8::Framework::RaiserState;

enum class Ending { Commit, Cancel };
enum class Taking { Destroy, MoveConstruct, MoveAssign };

// Raises a begin (or, with `pendingEnd`, a committed begin and an end) on
// this thread, hands the handle to a second thread that ends it after
// `delay`, and meanwhile destroys or moves the raiser here. Returns the
// events the host saw; `finishedFirst` tells whether the handle had ended
// before the destruction or move returned.
struct Round {
    Ending ending;
    Taking taking;
    bool pendingEnd;
    std::chrono::microseconds delay;
};

struct Outcome {
    std::vector<TestSupport::FakeHostEvent*> events;
    bool endedBeforeTakingReturned = false;
    RaiserState takenState = RaiserState::RaiserDestroyed;
};

Outcome RunRound(FrameworkTest::Host& host, const Round& round)
{
    CDetectorEventFactory factory(&host.sender, &host.events, &host.logger, "AudioDetector");
    auto raiser = std::make_unique<CLengthyDetectorEventRaiser>(factory, "Race");
    auto other = std::make_unique<CLengthyDetectorEventRaiser>(factory, "Other");
    std::unique_ptr<CLengthyDetectorEventRaiser> taker;
    Outcome outcome;
    std::atomic<bool> ended{false};
    {
        if (round.pendingEnd) {
            EXPECT_TRUE(raiser->RaiseBegin(1).Commit());
        }
        CDetectorEvent pending = round.pendingEnd ? raiser->RaiseEnd(2) : raiser->RaiseBegin(1);
        EXPECT_TRUE(pending.IsValid());
        std::thread ender([&pending, &ended, round] {
            CDetectorEvent handle(std::move(pending));
            if (round.delay.count() > 0)
                std::this_thread::sleep_for(round.delay);
            ended.store(true);
            if (round.ending == Ending::Commit) {
                EXPECT_TRUE(handle.Commit());
            } else {
                handle.Cancel();
            }
        });
        switch (round.taking) {
        case Taking::Destroy:
            raiser.reset();
            break;
        case Taking::MoveConstruct:
            taker = std::make_unique<CLengthyDetectorEventRaiser>(std::move(*raiser));
            break;
        case Taking::MoveAssign:
            *other = std::move(*raiser);
            break;
        }
        outcome.endedBeforeTakingReturned = ended.load();
        ender.join();
    }
    if (taker)
        outcome.takenState = taker->State();
    if (round.taking == Taking::MoveAssign)
        outcome.takenState = other->State();
    taker.reset();
    other.reset();
    raiser.reset();
    outcome.events = host.events.Events();
    return outcome;
}

TEST(RaiserConcurrencyTest, DestructionAndMovesWaitForAPendingEventEndedOnAnotherThread)
{
    for (Taking taking : {Taking::Destroy, Taking::MoveConstruct, Taking::MoveAssign})
        for (Ending ending : {Ending::Commit, Ending::Cancel})
            for (bool pendingEnd : {false, true}) {
                SCOPED_TRACE(testing::Message() << "taking " << static_cast<int>(taking) << " ending "
                                                << static_cast<int>(ending) << " pendingEnd " << pendingEnd);
                FrameworkTest::Host host;
                const Outcome outcome = RunRound(host, {ending, taking, pendingEnd, std::chrono::milliseconds(30)});
                EXPECT_TRUE(outcome.endedBeforeTakingReturned);
                // Whoever holds the event at the end: an end is raised
                // automatically exactly when the event stands begun.
                const bool begun = (ending == Ending::Commit) != pendingEnd;
                const std::size_t expected = (pendingEnd ? 2u : 1u) + (begun ? 1u : 0u);
                ASSERT_EQ(outcome.events.size(), expected);
                if (begun) {
                    EXPECT_EQ(outcome.events.back()->kind, 2);
                }
                for (auto* e : outcome.events)
                    EXPECT_EQ(e->commits + e->cancels, 1);
                if (taking != Taking::Destroy) {
                    const RaiserState expectedState = ending == Ending::Commit
                                                          ? (pendingEnd ? RaiserState::RaiserEnded : RaiserState::RaiserBegun)
                                                          : (pendingEnd ? RaiserState::RaiserBegun : RaiserState::RaiserIdle);
                    EXPECT_EQ(outcome.takenState, expectedState);
                }
                EXPECT_TRUE(host.logger.Records().empty());
            }
}

TEST(RaiserConcurrencyTest, ManyTightRacesLoseNoEventAndLogNothing)
{
    for (int i = 0; i < 300; ++i) {
        FrameworkTest::Host host;
        const Round round{i % 2 == 0 ? Ending::Commit : Ending::Cancel, static_cast<Taking>(i % 3), (i / 6) % 2 == 1,
                          std::chrono::microseconds(0)};
        const Outcome outcome = RunRound(host, round);
        const bool begun = (round.ending == Ending::Commit) != round.pendingEnd;
        ASSERT_EQ(outcome.events.size(), (round.pendingEnd ? 2u : 1u) + (begun ? 1u : 0u)) << "round " << i;
        ASSERT_TRUE(host.logger.Records().empty()) << "round " << i;
    }
}

TEST(DetectorsGroupConcurrencyTest, FirstUseFromManyThreadsAtOnce)
{
    std::atomic<bool> go{false};
    std::atomic<int> valid{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            while (!go.load())
                std::this_thread::yield();
            if (ORQ8::Framework::IsValidDetectorsGroup("AudioDetector,StoppedObjectDetector") &&
                !ORQ8::Framework::IsValidDetectorsGroup("AudioDetector,"))
                valid.fetch_add(1);
        });
    go.store(true);
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(valid.load(), 8);
}

}  // namespace
