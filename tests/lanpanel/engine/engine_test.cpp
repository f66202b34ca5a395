#include "engine_fixture.h"

#include <random>

using namespace lanpanel;
using namespace lanpanel::testing;

namespace {
constexpr int kMeasurement = static_cast<int>(Page::Measurement);
constexpr int kSignals = static_cast<int>(Page::Signals);
constexpr int kSettings = static_cast<int>(Page::Settings);
constexpr int kPlates = static_cast<int>(Page::Plates);
constexpr int kProtection = static_cast<int>(Page::Protection);

QString Ev(const char* kind, int page) {
    return QStringLiteral("%1:%2").arg(QLatin1String(kind)).arg(page);
}

std::vector<std::uint8_t> Frame10(std::uint8_t cot, const std::vector<std::uint8_t>& body) {
    std::vector<std::uint8_t> f{0x0A, 0x81, cot,  0x05,
                                0xFE, 0xF1, 0x00, static_cast<std::uint8_t>(body.size())};
    f.insert(f.end(), body.begin(), body.end());
    return f;
}
} // namespace

TEST_F(EngineTest, IdentificationFrame) {
    Feed("05 81 08 05 FE 00 00 41 42 43 44 45 31 2E 30 30 30 12 34 00");
    EXPECT_EQ(engine->ModelText(), "ABCDE");
    EXPECT_EQ(engine->VersionText(), "1.000");
    EXPECT_EQ(engine->SeriesNumber(), 0x1234);
    EXPECT_EQ(engine->CurrentTemplate(), shared.Templates[1].get());
    EXPECT_EQ(shared.SelectedTemplateIndex, 1);
    EXPECT_EQ(events, QStringList{"selected"});
}

TEST_F(EngineTest, IdentificationTexts) {
    struct Case {
        const char* hex; // from offset 7
        const char* model;
        const char* version;
        std::uint16_t series;
    } cases[] = {
        {"41 42 43 44 45 31 2E 30 00", "ABCDE", "1.000", 0},
        {"41 42 43 44 45 31 2E 30 30 00", "ABCDE", "1.000", 0},
        {"41 42 43 44 45 31 2E 30 30 30 12 34", "ABCDE", "1.000", 0x1234},
        {"41 42 43 44 45 56 31 2E 32 33 00 07", "ABCDE", "V1.23", 0x0007},
        {"41 42 00", "AB", "", 0},
        {"", "", "", 0},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> f = Hex("05 81 08 05 FE 00 00");
        const auto text = Hex(c.hex);
        f.insert(f.end(), text.begin(), text.end());
        const auto id = ParseIdentification(f.data(), static_cast<int>(f.size()));
        if (f.size() < 8) {
            EXPECT_FALSE(id.has_value());
            continue;
        }
        ASSERT_TRUE(id.has_value()) << c.hex;
        EXPECT_EQ(id->model, c.model) << c.hex;
        EXPECT_EQ(id->version, c.version) << c.hex;
        EXPECT_EQ(id->series, c.series) << c.hex;
    }
    // 300 text bytes: only the 255 the text buffer holds are looked at, none beyond the frame
    std::vector<std::uint8_t> longText(7 + 300, 'Q');
    EXPECT_EQ(ParseIdentification(longText.data(), 307)->model, "QQQQQ");
}

TEST_F(EngineTest, IdentificationFailuresReportAndAskNoMore) {
    shared.Templates.erase(shared.Templates.begin()); // no default any more
    Feed("05 81 08 05 FE 00 00 58 59 5A 00");
    EXPECT_EQ(engine->CurrentTemplate(), nullptr);
    EXPECT_EQ(events, QStringList{"message:未找到型号为：XYZ 的设备模板，设备型号识别失败！"});
    engine->PollTick(); // ModelText is set: no new identification request
    EXPECT_TRUE(link.sent.empty());
}

TEST_F(EngineTest, GatesBeforeIdentification) {
    Feed("0A 81 2A 05 FE F1 00 01 00 03 01 03 01 01 09"); // zone answer, no template yet
    Feed("05 81 08 06 FE 00 00 41 42 43 44 45 00");       // wrong station address
    EXPECT_EQ(engine->CurrentTemplate(), nullptr);
    EXPECT_TRUE(events.isEmpty());
    Identify();
    Feed("0A 81 2A 05 FE F1 00 01 00 03 01 03 01 01 09");
    EXPECT_EQ(Tpl().RunningZone, 9);
    Feed("0A 81 2A 07 FE F1 00 01 00 03 01 03 01 01 04"); // other station: dropped
    EXPECT_EQ(Tpl().RunningZone, 9);
}

TEST_F(EngineTest, SettingsValueAnswer) {
    Identify();
    const char* answer =
        "0A 81 2A 05 FE F1 00 02 03 01 01 03 02 01 0C 00 03 02 01 07 04 01 00 00 00 3F";
    Feed(answer);
    EXPECT_EQ(Tpl().Setting[0].DataType, 3);
    EXPECT_FLOAT_EQ(Tpl().Setting[0].Value, 12.0f);
    EXPECT_EQ(Tpl().Setting[1].DataType, 7);
    EXPECT_FLOAT_EQ(Tpl().Setting[1].Value, 0.5f);
    Feed(answer);
    engine->SetSettingsListed(false); // 上装定值
    Feed(answer);
    EXPECT_EQ(events, (QStringList{Ev("reload", kSettings), Ev("update", kSettings),
                                   Ev("reload", kSettings)}));

    // sizes in either order; a set that does not fit ends the walk, a group 4 set too
    Feed("0A 81 2A 05 FE F1 00 04 03 03 01 07 04 01 00 00 80 3F 03 04 01 03 02 01 05 00"
         " 04 05 01 03 02 01 09 00 03 06 01 03 02 01");
    EXPECT_FLOAT_EQ(Tpl().Setting[2].Value, 1.0f);
    EXPECT_FLOAT_EQ(Tpl().Setting[3].Value, 5.0f);
    EXPECT_FLOAT_EQ(Tpl().Setting[4].Value, 0.0f);
}

TEST_F(EngineTest, AnswerWithIncompleteFirstSetChangesNothing) {
    Identify();
    Tpl().RunningZone = 3;
    // the set claims 2 data bytes, only 1 arrived
    Feed("0A 81 2A 05 FE F1 00 01 00 03 01 03 02 01 07");
    Feed("0A 81 2A 05 FE F1 00 01 00 03");
    Feed("0A 81 2A 05 FE F1 00 01 03 01 01 03 04 01 00 00");
    EXPECT_EQ(Tpl().RunningZone, 3);
    EXPECT_FLOAT_EQ(Tpl().Setting[0].Value, 0.0f);
    EXPECT_TRUE(events.isEmpty());
}

TEST_F(EngineTest, SettingDescriptions) {
    Identify();
    // precision: 10-byte sets, decimals in set byte 8
    Feed("0A 81 2A 05 FE F1 00 03 03 01 05 03 02 02 00 00 02 00"
         " 03 02 05 03 02 02 00 00 00 00 03 03 05 03 02 02 00 00 03 00 FF");
    EXPECT_EQ(Tpl().SettingCount, 3);
    EXPECT_FLOAT_EQ(Tpl().Setting[0].Factor, 0.01f);
    EXPECT_FLOAT_EQ(Tpl().Setting[1].Factor, 1.0f);
    EXPECT_FLOAT_EQ(Tpl().Setting[2].Factor, 0.001f);
    // names cleared before the new text, units too; over-long text cut to its field
    std::vector<std::uint8_t> body = Hex("03 01 0A 01 06 01 4C 6F 6E 67 65 72");
    std::vector<std::uint8_t> tail = Hex("03 02 0A 01 FA 01");
    tail.resize(tail.size() + 250, 'x');
    body.insert(body.end(), tail.begin(), tail.end());
    Feed(Frame10(42, body));
    Feed(Frame10(42, Hex("03 01 0A 01 02 01 41 42")));
    Feed(Frame10(42, Hex("03 01 09 01 01 01 56")));
    EXPECT_EQ(Text(Tpl().Setting[0].Name), "AB");
    EXPECT_EQ(Text(Tpl().Setting[1].Name), QByteArray(199, 'x'));
    EXPECT_EQ(Text(Tpl().Setting[0].Unit), "V");
    EXPECT_EQ(Tpl().Setting[0].Factor, 0.01f); // the neighbouring fields are intact
}

TEST_F(EngineTest, ProtectionAnswers) {
    Identify();
    const auto names = Frame10(42, Hex("06 01 0A 01 02 01 49 31 06 02 0A 01 02 01 49 32"));
    Feed(names);
    Feed(names); // descriptions again after a reconnect
    EXPECT_EQ(Tpl().ProtectionCount, 2);
    Feed(Frame10(42, Hex("06 02 06 07 04 01 00 00 20 41")));
    Feed(Frame10(42, Hex("06 02 09 01 01 01 41")));
    Feed(Frame10(42, Hex("06 01 0A 01 01 01 58"))); // a shorter name leaves no tail behind
    Feed(Frame10(
        42, Hex("06 01 01 07 04 01 00 00 C0 3F 06 02 01 03 02 01 64 00 03 03 01 03 02 01 01 00")));
    Feed(Frame10(42, Hex("06 01 01 07 04 01 00 00 00 40")));
    EXPECT_EQ(Text(Tpl().Protection[0].Name), "X");
    EXPECT_EQ(Text(Tpl().Protection[1].Unit), "A");
    EXPECT_FLOAT_EQ(Tpl().Protection[1].Factor, 10.0f);
    EXPECT_FLOAT_EQ(Tpl().Protection[0].Value, 2.0f);
    EXPECT_FLOAT_EQ(Tpl().Protection[1].Value, 100.0f);
    EXPECT_FLOAT_EQ(Tpl().Protection[2].Value, 0.0f); // walk stopped at the group 3 set
    EXPECT_EQ(events, (QStringList{Ev("reload", kProtection), Ev("update", kProtection)}));
}

TEST_F(EngineTest, PlateAnswers) {
    Identify();
    Feed(Frame10(42, Hex("0E 01 0A 01 04 01 50 31 50 32")));
    Feed(Frame10(42, Hex("0E 01 01 09 01 01 02 0E 02 01 09 01 01 01 0E 03 01 09 01 01 02"
                         " 06 04 01 09 01 01 02")));
    EXPECT_EQ(Tpl().PlateCount, 3);
    EXPECT_EQ(Tpl().Plate[0].State, 1);
    EXPECT_EQ(Tpl().Plate[1].State, 0);
    EXPECT_EQ(Tpl().Plate[2].State, 1);
    EXPECT_EQ(Tpl().Plate[3].State, 0);
    EXPECT_EQ(Text(Tpl().Plate[0].Name), "P1P2");
    Feed(Frame10(42, Hex("0E 01 01 09 01 01 01")));
    EXPECT_EQ(Tpl().PlateCount, 1);
    EXPECT_EQ(events, (QStringList{Ev("reload", kPlates), Ev("update", kPlates)}));
}

TEST_F(EngineTest, EntryZeroAndOutOfRangeNumbersStoreNothing) {
    Identify();
    auto before = DeviceTemplate::Create();
    std::memcpy(static_cast<void*>(before.get()), &Tpl(), sizeof(DeviceTemplate));
    Feed(Frame10(42, Hex("03 00 01 03 02 01 05 00")));                   // setting entry 0
    Feed(Frame10(42, Hex("06 00 0A 01 01 01 41 06 00 09 01 01 01 41"))); // protection entry 0
    Feed(Frame10(42, Hex("03 00 05 03 02 02 00 00 03 00")));             // precision entry 0
    Feed(Frame10(9, Hex("07 00 00 00 00 00 00 00 80 3F 08 00 00 00 00 00 02")));
    EXPECT_EQ(std::memcmp(before.get(), &Tpl(), sizeof(DeviceTemplate)), 0);
    // entry 255 is the last record of the list, and nothing beyond it changes
    Feed(Frame10(42, Hex("03 FF 0A 01 01 01 5A")));
    EXPECT_EQ(Text(Tpl().Setting[254].Name), "Z");
    EXPECT_EQ(Tpl().RunningZone, 32);
}

TEST_F(EngineTest, DeviceRecords) {
    Identify();
    Tpl().Analogue[0].Scale = 0.5f;
    // kind 7 point 1 raw 2.0, kind 4 skipped, kind 8 point 3 value 2
    Feed(Frame10(1, Hex("07 01 00 00 00 00 00 00 00 40  04 09 00 00 00 00 00 00 00 00 00 00"
                        "  08 03 00 00 00 00 02")));
    EXPECT_FLOAT_EQ(Tpl().Analogue[0].Value, 1.0f);
    EXPECT_EQ(Tpl().Digital[2].State, 1);
    EXPECT_EQ(events, (QStringList{Ev("update", kMeasurement), Ev("update", kSignals)}));
    // a kind-7 record cut short is not read; the walk ends there
    Feed(Frame10(9, Hex("08 01 00 00 00 00 01 07 02 00 00 00 00 00 00")));
    EXPECT_EQ(Tpl().Digital[0].State, 0);
    EXPECT_FLOAT_EQ(Tpl().Analogue[1].Value, 0.0f);
    // unknown kind ends the walk
    Feed(Frame10(2, Hex("63 01 00 00 00 00 02 08 02 00 00 00 00 02")));
    EXPECT_EQ(Tpl().Digital[1].State, 0);
}

TEST_F(EngineTest, NestedGenericFrame) {
    Identify();
    // a kind-10 record: the rest is a frame of its own (here a plate answer)
    auto inner = Frame10(42, Hex("0E 02 01 09 01 01 02"));
    auto outer = Frame10(1, Hex("08 01 00 00 00 00 02"));
    outer.insert(outer.end(), inner.begin(), inner.end());
    Feed(outer);
    EXPECT_EQ(Tpl().Digital[0].State, 1);
    EXPECT_EQ(Tpl().Plate[1].State, 1);
    EXPECT_EQ(events, (QStringList{Ev("update", kMeasurement), Ev("update", kSignals),
                                   Ev("reload", kPlates)}));
    // thousands of nested levels are handled without recursion
    std::vector<std::uint8_t> deep;
    for (int i = 0; i < 2500; ++i) {
        const auto head = Hex("0A 81 01 05 FE F1 00 01");
        deep.insert(deep.end(), head.begin(), head.end());
    }
    deep.insert(deep.end(), {0x08, 0x05, 0, 0, 0, 0, 0x02});
    Feed(deep);
    EXPECT_EQ(Tpl().Digital[4].State, 1);
}

TEST_F(EngineTest, SegmentJoins) {
    Identify();
    // a 1660-byte spontaneous frame in two reads: 1460 + 200
    std::vector<std::uint8_t> big = Frame10(1, {});
    while (big.size() + 7 <= 1660)
        big.insert(big.end(), {0x08, 0x01, 0, 0, 0, 0, 0x02});
    big.resize(1660, 0x00);
    big[big.size() - 7] = 0x08; // last record: point 2 on
    big[big.size() - 6] = 0x02;
    big[big.size() - 1] = 0x02;
    std::vector<std::uint8_t> first(big.begin(), big.begin() + 1460);
    std::vector<std::uint8_t> second(big.begin() + 1460, big.end());
    Feed(first);
    EXPECT_EQ(engine->HeldLength(), 1460);
    EXPECT_TRUE(events.isEmpty());
    Feed(second);
    EXPECT_EQ(engine->HeldLength(), 0);
    EXPECT_EQ(events.size(), 2); // processed once, as one frame
    EXPECT_EQ(Tpl().Digital[1].State, 1);

    // two 1460 reads in a row: the first is lost
    events.clear();
    std::vector<std::uint8_t> lost = first;
    lost[3] = 0x09; // would be dropped for its address if it were joined
    Feed(lost);
    Feed(first);
    Feed(second);
    EXPECT_EQ(events.size(), 2);

    // a complete 1460-byte frame waits for the next read
    events.clear();
    auto whole = Frame10(9, {});
    while (whole.size() < 1460)
        whole.insert(whole.end(), {0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    whole.resize(1460);
    Feed(whole);
    EXPECT_TRUE(events.isEmpty());
    Feed("00");
    EXPECT_EQ(events.size(), 2);

    // held 1460 + 23 117 bytes is more than a frame can be: dropped whole
    events.clear();
    Feed(first);
    std::vector<std::uint8_t> huge(0x6000 - 1460 + 1, 0x08);
    Feed(huge);
    EXPECT_TRUE(events.isEmpty());
    EXPECT_EQ(engine->HeldLength(), 0);
}

TEST_F(EngineTest, JoinedDataAfterResetIsNotStored) {
    Identify();
    std::vector<std::uint8_t> held = Frame10(1, {});
    held.resize(1460, 0);
    Feed(held);
    engine->ResetEngine();
    // a read starting with 5 passes the gate, but the joined frame is data for no template
    Feed("05 00 00");
    EXPECT_TRUE(events.isEmpty());
}

TEST_F(EngineTest, PollSchedule) {
    // nothing identified: identification request only
    engine->PollTick();
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0], Hex("14 81 05 05 FE 04 01 00"));
    Identify();
    link.sent.clear();
    engine->SetClock([] { return QDateTime(QDate(2023, 6, 15), QTime(14, 7, 9, 250)); });
    engine->PollTick();
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0], Hex("06 81 08 05 FE 00 22 24 07 0E 0F 06 17"));
    EXPECT_TRUE(engine->TimeSynced());

    struct Step {
        PollPage page;
        const char* hex; // "" = nothing sent
    } steps[] = {
        {PollPage::MeasurementOrSignals, "07 81 09 05 FE 00 04"},
        {PollPage::Operations, ""},
        {PollPage::Plates, "15 81 2A 05 FE F1 07 01 0E 00 01"},
        {PollPage::Protection, "15 81 2A 05 FE F1 07 01 06 00 01"},
        {PollPage::Settings, ""}, // the first settings tick is idle
        {PollPage::Settings, "15 81 2A 05 FE F1 03 01 00 03 01"},
        {PollPage::Settings, "0A 81 28 05 FE FA 05 01 00 02 01 03 01 01 20"},
        {PollPage::Settings, "15 81 2A 05 FE F1 00 01 03 00 01"},
        {PollPage::Settings, "15 81 2A 05 FE F1 03 01 00 03 01"},
    };
    for (const auto& s : steps) {
        link.sent.clear();
        shared.CurrentPage = static_cast<std::uint16_t>(s.page);
        engine->PollTick();
        if (*s.hex == 0) {
            EXPECT_TRUE(link.sent.empty()) << static_cast<int>(s.page);
        } else {
            ASSERT_EQ(link.sent.size(), 1u) << s.hex;
            EXPECT_EQ(link.sent[0], Hex(s.hex));
        }
    }
    // the viewed zone goes out at step 2, the download replaces the value read at step 3
    Tpl().ViewZone = 4;
    Tpl().SettingCount = 1;
    Tpl().Setting[0] = {{}, {}, 3, 7.0f, 0};
    engine->SetDownloadPending(true);
    link.sent.clear();
    engine->PollTick();
    engine->PollTick();
    ASSERT_EQ(link.sent.size(), 2u);
    EXPECT_EQ(link.sent[0], Hex("0A 81 28 05 FE FA 05 01 00 02 01 03 01 01 04"));
    EXPECT_EQ(link.sent[1], Hex("0A 81 2A 05 FE FA 0B 01 03 01 01 03 02 01 07 00"));
    EXPECT_FALSE(engine->DownloadPending());
}

TEST_F(EngineTest, TimerDrivesPollTickEveryFiftyEvents) {
    for (int i = 0; i < 49; ++i)
        engine->TimerEvent();
    EXPECT_TRUE(link.sent.empty());
    engine->TimerEvent();
    EXPECT_EQ(link.sent.size(), 1u);
    for (int i = 0; i < 50; ++i)
        engine->TimerEvent();
    EXPECT_EQ(link.sent.size(), 2u);
}

TEST_F(EngineTest, CommandsAndNoLink) {
    Identify();
    EXPECT_TRUE(engine->SendRemoteControl(2, 2));
    EXPECT_TRUE(engine->SendPlateSwitch(3, 1));
    EXPECT_TRUE(engine->SendFixedClock());
    EXPECT_EQ(link.sent.size(), 3u);
    EXPECT_EQ(link.sent[0], Hex("0A 81 28 05 FE FA 11 01 0B 02 01 09 01 01 02"));

    engine->ResetEngine();
    EXPECT_FALSE(engine->TimeSynced());
    EXPECT_TRUE(engine->ModelText().isEmpty());
    EXPECT_EQ(engine->CurrentTemplate(), nullptr);
    link.connected = false;
    link.sent.clear();
    EXPECT_FALSE(engine->SendSignalReset());
    EXPECT_FALSE(engine->TimeSynced());
    EXPECT_FALSE(engine->SendClockSync());
    engine->PollTick();
    EXPECT_TRUE(link.sent.empty());
    // a download without a device keeps its request and says why
    engine->SetDownloadPending(true);
    EXPECT_FALSE(engine->SendSettingsDownload());
    EXPECT_TRUE(engine->DownloadPending());
    EXPECT_EQ(events.last(), QStringLiteral("message:还没有连接上设备，下载失败！"));
}

TEST_F(EngineTest, SurvivesArbitraryBytes) {
    std::mt19937 rng(20240611);
    auto byte = [&] { return static_cast<std::uint8_t>(rng() & 0xFF); };
    const std::vector<std::vector<std::uint8_t>> seeds = {
        Hex("05 81 08 05 FE 00 00 41 42 43 44 45 31 2E 30 30 30 12 34 00"),
        Hex("0A 81 2A 05 FE F1 00 02 03 01 01 03 02 01 0C 00 03 02 01 07 04 01 00 00 00 3F"),
        Frame10(42, Hex("0E 01 01 09 01 01 02 0E 02 01 09 01 01 01")),
        Frame10(42, Hex("06 01 0A 01 02 01 49 31 06 02 09 01 02 01 49 32")),
        Frame10(42, Hex("03 01 05 03 02 02 00 00 02 00 03 02 05 03 02 02 00 00 00 00")),
        Frame10(9, Hex("07 01 00 00 00 00 00 00 00 40 08 03 00 00 00 00 02 0A 81 2A 05")),
        Frame10(42, Hex("00 03 01 03 01 01 09")),
    };
    for (int round = 0; round < 6000; ++round) {
        std::vector<std::uint8_t> f;
        const unsigned mode = rng() % 4;
        if (mode == 0) { // random bytes of random length, sometimes the special sizes
            const std::size_t sizes[] = {1, 7, 8, 9, 14, 1460, 200, 4000};
            f.resize(sizes[rng() % 8]);
            for (auto& b : f)
                b = byte();
            if (f.size() > 3 && rng() % 2)
                f[3] = 5;
        } else { // a mutated real frame: flips, cuts, growth
            f = seeds[rng() % seeds.size()];
            const int flips = 1 + static_cast<int>(rng() % 4);
            for (int i = 0; i < flips; ++i)
                f[rng() % f.size()] = byte();
            if (rng() % 3 == 0)
                f.resize(1 + rng() % f.size());
            if (rng() % 5 == 0)
                for (int i = static_cast<int>(rng() % 300); i > 0; --i)
                    f.push_back(byte());
        }
        Feed(f);
        if (round % 500 == 0)
            engine->ResetEngine();
    }
    // still decoding correctly afterwards
    Feed("00"); // flush anything held
    Feed("05 81 08 05 FE 00 00 41 42 43 44 45 31 2E 30 30 30 12 34 00");
    ASSERT_NE(engine->CurrentTemplate(), nullptr);
    Feed("0A 81 2A 05 FE F1 00 01 00 03 01 03 01 01 06");
    EXPECT_EQ(engine->CurrentTemplate()->RunningZone, 6);
}
