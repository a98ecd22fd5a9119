// MORVANTEPORTIO.DLL under a Windows loader, beside the stand-in DlPortIO.dll.
//
// Run once per family that GetVersion reports: as NT, and as Windows 98
// (Wine's per-program Version=win98, as a "Windows 98 / Me" compatibility
// mode does on a real NT kernel). The kernel is NT's either way, so the DLL
// must take the driver path on both: no handler catches IN or OUT here, and
// a DLL that believed the version word would kill this process.
//
//   dll_tests.exe --family=nt|9x [gtest options]
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

// ---- The DLL and the stand-in driver, resolved at run time -----------------

struct Library {
    HMODULE module = nullptr;
    int (*Init)() = nullptr;
    float (*LitTension)(int, int) = nullptr;
    int (*OKCarte)() = nullptr;
    unsigned char (*in_port)(int) = nullptr;
    void (*out_port)(int, int) = nullptr;
    float (*readad)(int) = nullptr;
} dll;

struct Standin {
    void (*SetInput)(int, double);
    void (*SetConversionTimeUs)(int);
    void (*SetBehaviour)(int);
    void (*Reset)();
    int (*DriverLog)(unsigned long*, unsigned char*, unsigned char*, int);
    void (*ClearLog)();
} sim;

const char* const export_names[] = {"Init", "LitTension", "OKCarte", "in_port", "out_port", "readad"};

template <class Fn>
bool resolve(HMODULE m, const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m, name)));
    return fn != nullptr;
}

bool load_library() {
    dll.module = LoadLibraryA("MORVANTEPORTIO.DLL");
    if (!dll.module)
        return false;
    HMODULE driver = GetModuleHandleA("DlPortIO.dll");
    return driver && resolve(dll.module, "Init", dll.Init) &&
           resolve(dll.module, "LitTension", dll.LitTension) &&
           resolve(dll.module, "OKCarte", dll.OKCarte) && resolve(dll.module, "in_port", dll.in_port) &&
           resolve(dll.module, "out_port", dll.out_port) && resolve(dll.module, "readad", dll.readad) &&
           resolve(driver, "SimSetInput", sim.SetInput) &&
           resolve(driver, "SimSetConversionTimeUs", sim.SetConversionTimeUs) &&
           resolve(driver, "SimSetBehaviour", sim.SetBehaviour) && resolve(driver, "SimReset", sim.Reset) &&
           resolve(driver, "SimDriverLog", sim.DriverLog) && resolve(driver, "SimClearLog", sim.ClearLog);
}

// ---- Port accesses, from whichever path the family uses --------------------

struct Access {
    bool write;
    std::uint32_t port;
    std::uint8_t value;
    bool operator==(const Access& o) const { return write == o.write && port == o.port && value == o.value; }
};

std::ostream& operator<<(std::ostream& os, const Access& a) {
    return os << (a.write ? "out " : "in  ") << std::hex << "0x" << a.port << " = 0x" << int(a.value)
              << std::dec;
}

bool family_9x = false;  // GetVersion says 95/98/Me

std::vector<Access> driver_log() {
    const int n = sim.DriverLog(nullptr, nullptr, nullptr, 0x7FFFFFFF);
    std::vector<unsigned long> ports(n);
    std::vector<unsigned char> values(n), writes(n);
    sim.DriverLog(ports.data(), values.data(), writes.data(), n);
    std::vector<Access> log;
    for (int i = 0; i < n; ++i)
        log.push_back({writes[i] != 0, static_cast<std::uint32_t>(ports[i]), values[i]});
    return log;
}

// Every access, whatever GetVersion says: the driver's log.
std::vector<Access> accesses() { return driver_log(); }

void clear_logs() { sim.ClearLog(); }

std::uint32_t bits(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

constexpr float no_reading = 1e10f;
using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Captured right after the first load, before any test ran.
int okcarte_at_load = -1;
float littension_at_load = 0;
std::size_t accesses_at_load = 99;

class Dll : public ::testing::Test {
protected:
    void SetUp() override {
        sim.Reset();
        sim.SetInput(0, 1.25);
        sim.SetInput(1, -3.3);
        clear_logs();
    }
};

// ---- The module itself --------------------------------------------------------

TEST_F(Dll, ExportsTheSixByNameAndByOrdinal) {
    for (int ordinal = 1; ordinal <= 6; ++ordinal) {
        const char* name = export_names[ordinal - 1];
        FARPROC by_name = GetProcAddress(dll.module, name);
        FARPROC by_ordinal = GetProcAddress(dll.module, MAKEINTRESOURCEA(ordinal));
        EXPECT_NE(by_name, nullptr) << name;
        EXPECT_EQ(by_name, by_ordinal) << name << " is not ordinal " << ordinal;
    }
    EXPECT_EQ(GetProcAddress(dll.module, MAKEINTRESOURCEA(7)), nullptr);
    EXPECT_EQ(GetProcAddress(dll.module, "_Init@0"), nullptr);
    EXPECT_EQ(GetProcAddress(dll.module, "DllMain"), nullptr);
}

TEST_F(Dll, ExportDirectoryNamesTheModuleAndHoldsExactlySix) {
    const auto* base = reinterpret_cast<const std::uint8_t*>(dll.module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    EXPECT_STREQ(reinterpret_cast<const char*>(base + exports->Name), "MORVANTEPORTIO.DLL");
    EXPECT_EQ(exports->Base, 1u);
    EXPECT_EQ(exports->NumberOfFunctions, 6u);
    ASSERT_EQ(exports->NumberOfNames, 6u);
    const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    const auto* ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        const std::string name = reinterpret_cast<const char*>(base + names[i]);
        EXPECT_EQ(name, export_names[ordinals[i]]) << "ordinal " << ordinals[i] + 1;
    }
}

TEST_F(Dll, RunsOnTheExpectedFamily) {
    EXPECT_EQ((GetVersion() & 0x80000000u) != 0, family_9x)
        << "GetVersion() = 0x" << std::hex << GetVersion();
}

TEST_F(Dll, LoadsWithoutProbingOrTouchingAnyPort) {
    EXPECT_EQ(okcarte_at_load, 0);
    EXPECT_EQ(bits(littension_at_load), bits(no_reading)) << "LitTension before any Init";
    EXPECT_EQ(accesses_at_load, 0u);
}

// ---- The probe -------------------------------------------------------------------

TEST_F(Dll, ProbeFindsTheCardWithTheFamilysAccesses) {
    sim.SetConversionTimeUs(2000);  // long enough for several busy reads
    ASSERT_EQ(dll.Init(), 1);
    EXPECT_EQ(dll.OKCarte(), 1);

    const std::vector<Access> log = accesses();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.front(), (Access{true, 0x280, 0xFF}));
    std::size_t i = 1;
    while (i < log.size() && log[i] == Access{false, 0x284, 0x01})
        ++i;
    EXPECT_GT(i, 1u) << "no busy status read";
    ASSERT_LT(i, log.size());
    EXPECT_EQ(log[i], (Access{false, 0x284, 0x00}));
    std::vector<Access> rest(log.begin() + i + 1, log.end());
    EXPECT_TRUE(rest.empty()) << "the driver path's probe only starts and waits";
}

TEST_F(Dll, ProbeOfASilentCardFailsAfter100msAndClearsTheFlag) {
    ASSERT_EQ(dll.Init(), 1);
    sim.SetBehaviour(1);  // absent: the bus floats
    clear_logs();
    const auto t0 = Clock::now();
    EXPECT_EQ(dll.Init(), 0);
    const double waited = ms_since(t0);
    EXPECT_GE(waited, 99.0);
    EXPECT_LT(waited, 1000.0);
    RecordProperty("probe_timeout_ms", std::to_string(waited));
    std::printf("[ measured ] silent-card probe took %.2f ms\n", waited);
    EXPECT_EQ(dll.OKCarte(), 0);
    int others = 0;
    for (const Access& a : accesses())
        others += !(a.port == 0x284 || (a.write && a.port == 0x280));
    EXPECT_EQ(others, 0) << "accesses other than the start and status reads";
    EXPECT_EQ(bits(dll.LitTension(0, 5)), bits(no_reading));
}

// ---- Conversions ------------------------------------------------------------------

TEST_F(Dll, ScalesCodesBitExactlyOnBothChannels) {
    const struct {
        double input;
        float volts;
    } table[] = {
        {-5.121250629425049, -5.121250629425049f}, {-5.118749618530273, -5.118749618530273f},
        {-0.0012506106868386269, -0.0012506106868386269f}, {0.0012506106868386269, 0.0012506106868386269f},
        {5.118749618530273, 5.118749618530273f}, {5.121250629425049, 5.121250629425049f},
        {-10.0, -5.121250629425049f}, {10.0, 5.121250629425049f},
    };
    for (int channel : {0, 1})
        for (const auto& row : table) {
            sim.SetInput(channel, row.input);
            EXPECT_EQ(bits(dll.readad(channel)), bits(row.volts)) << "channel " << channel << ", " << row.input << " V";
        }
}

TEST_F(Dll, ReadsHighByteThenLowAfterTheBusyBitClears) {
    sim.SetInput(1, 2.0);
    dll.readad(1);
    const std::vector<Access> log = accesses();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log.front(), (Access{true, 0x282, 0xFF}));
    EXPECT_EQ(log[log.size() - 3].port, 0x284u);
    EXPECT_EQ(log[log.size() - 3].value & 0x02, 0);
    EXPECT_EQ(log[log.size() - 2].port, 0x282u);
    EXPECT_EQ(log[log.size() - 1].port, 0x283u);
}

TEST_F(Dll, EachChannelWaitsOnItsOwnBusyBitOnly) {
    for (int channel : {0, 1}) {
        const int other = 1 - channel;
        sim.Reset();
        sim.SetInput(channel, 3.0);
        sim.SetConversionTimeUs(400000);
        dll.out_port(other == 0 ? 0x280 : 0x282, 0xFF);  // the other channel busy for 400 ms
        sim.SetConversionTimeUs(25);
        const auto t0 = Clock::now();
        const float volts = dll.readad(channel);
        const double took = ms_since(t0);
        EXPECT_NEAR(volts, 3.0, 0.0013) << "channel " << channel;
        EXPECT_LT(took, 90.0) << "channel " << channel << " waited on the other channel's bit";
        EXPECT_NE(dll.in_port(0x284) & (other == 0 ? 0x01 : 0x02), 0) << "other channel still busy";
    }
}

TEST_F(Dll, ConversionThatNeverFinishesTimesOutOnTheRealClock) {
    sim.SetBehaviour(2);
    const auto t0 = Clock::now();
    EXPECT_EQ(bits(dll.readad(0)), bits(no_reading));
    const double waited = ms_since(t0);
    EXPECT_GE(waited, 99.0);
    EXPECT_LT(waited, 1000.0);
    RecordProperty("readad_timeout_ms", std::to_string(waited));
    std::printf("[ measured ] readad time-out took %.2f ms\n", waited);
    int data_reads = 0;
    for (const Access& a : accesses())
        data_reads += !(a.port == 0x284 || a.write);
    EXPECT_EQ(data_reads, 0) << "data ports read after a time-out";
}

TEST_F(Dll, ChannelsOtherThan0And1TouchNoPort) {
    ASSERT_EQ(dll.Init(), 1);
    clear_logs();
    for (int channel : {-1, 2, 0x10000}) {
        EXPECT_EQ(bits(dll.readad(channel)), bits(no_reading)) << channel;
        EXPECT_EQ(bits(dll.LitTension(channel, 3)), bits(no_reading)) << channel;
    }
    EXPECT_TRUE(accesses().empty());
}

// ---- Averaging ----------------------------------------------------------------------

TEST_F(Dll, AveragesWithASingleRoundedRunningSum) {
    ASSERT_EQ(dll.Init(), 1);
    sim.SetInput(0, -5.118749618530273);  // code 1
    EXPECT_EQ(bits(dll.LitTension(0, 7)), 0xC0A3CCCBu) << "-5.118749141693115";
    sim.SetInput(1, 0.0012506106868386269);  // code 2048
    EXPECT_EQ(bits(dll.LitTension(1, 7)), bits(0.0012506106868386269f));
    EXPECT_EQ(bits(dll.LitTension(1, 0)), bits(no_reading));
    EXPECT_EQ(bits(dll.LitTension(1, -3)), bits(no_reading));
}

// ---- Port numbers beyond 16 bits ---------------------------------------------------

TEST_F(Dll, PortAbove0xFFFFReachesTheDriverWhole) {
    sim.SetConversionTimeUs(400000);
    dll.out_port(0x10282, 0x1FF);
    const unsigned char status = dll.in_port(0x10284);
    const std::vector<Access> log = accesses();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], (Access{true, 0x10282, 0xFF})) << "the driver gets the full number";
    EXPECT_EQ(log[1], (Access{false, 0x10284, 0xFF})) << "nothing answers at 0x10284";
    EXPECT_EQ(status, 0xFF);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    std::string family;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--family=", 9) == 0)
            family = argv[i] + 9;
    if (family != "nt" && family != "9x") {
        std::fprintf(stderr, "usage: %s --family=nt|9x [gtest options]\n", argv[0]);
        return 2;
    }
    family_9x = family == "9x";
    if (!load_library()) {
        std::fprintf(stderr, "cannot load MORVANTEPORTIO.DLL with the stand-in DlPortIO.dll (error %lu)\n",
                     GetLastError());
        return 2;
    }
    sim.Reset();
    okcarte_at_load = dll.OKCarte();
    littension_at_load = dll.LitTension(0, 3);
    accesses_at_load = driver_log().size();
    return RUN_ALL_TESTS();
}
