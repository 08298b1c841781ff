#include "state/SetupContainer.h"

#include "packs/Sha256.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

using namespace bopwell;
using namespace bopwell::setupcontainer;

namespace
{
constexpr auto notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr auto infinity = std::numeric_limits<double>::infinity();

// Little-endian fields written byte by byte, independently of the encoder.
struct Bytes
{
    std::vector<std::uint8_t> data;

    Bytes& raw (const std::string& bytes)
    {
        data.insert (data.end(), bytes.begin(), bytes.end());
        return *this;
    }
    Bytes& le (std::uint64_t value, int size)
    {
        for (int i = 0; i < size; ++i)
            data.push_back (static_cast<std::uint8_t> (value >> (8 * i)));
        return *this;
    }
    Bytes& u8 (std::uint8_t value) { return le (value, 1); }
    Bytes& u32 (std::uint32_t value) { return le (value, 4); }
    Bytes& u64 (std::uint64_t value) { return le (value, 8); }
    Bytes& f64 (double value) { return le (std::bit_cast<std::uint64_t> (value), 8); }
    Bytes& text (const std::string& bytes) { return u32 (static_cast<std::uint32_t> (bytes.size())).raw (bytes); }
};

// The payload fields, each settable, including ones no encoder would write.
struct Payload
{
    double masterGain = 0.5, thresholdK = 3.5, calBackground = 0.001, calLiveRef = 0.0005, inputMax = 0.25;
    std::uint8_t choke = 1, modelValid = 1, factory = 1, cooldown = 41;
    std::int32_t builtInPack = -1;
    std::string factoryId = "factory-mag-2026-08-04-r1";
    std::vector<std::string> paths { "/samples/kick.wav", "/samples/snare.wav" };
    std::optional<std::uint32_t> pathCount;
    std::vector<double> coefs = std::vector<double> (24, 0.25);
    std::vector<double> curve { 3, 0, 0.1, 0.4, 0.6, 1, 0.9, 0.3, 0.7 };
    std::optional<std::uint32_t> curveCount;
    std::string trailing;

    std::vector<std::uint8_t> bytes() const
    {
        Bytes b;
        b.f64 (masterGain).f64 (thresholdK).f64 (calBackground).f64 (calLiveRef).f64 (inputMax);
        b.u8 (choke).u8 (modelValid).u8 (factory).u8 (cooldown).u32 (static_cast<std::uint32_t> (builtInPack));
        b.text (factoryId).u32 (pathCount.value_or (static_cast<std::uint32_t> (paths.size())));
        for (const auto& path : paths)
            b.text (path);
        if (modelValid == 1)
            for (auto c : coefs)
                b.f64 (c);
        b.u32 (curveCount.value_or (static_cast<std::uint32_t> (curve.size())));
        for (auto v : curve)
            b.f64 (v);
        b.raw (trailing);
        return b.data;
    }
};

// The record that the default Payload describes.
StateRecord payloadRecord()
{
    StateRecord record;
    record.masterGain = 0.5;
    record.thresholdK = 3.5;
    record.calBackground = 0.001;
    record.calLiveRef = 0.0005;
    record.inputMax = 0.25;
    record.choke = true;
    record.modelValid = true;
    record.profileIsFactory = true;
    record.cooldownMs = 40;
    record.builtInPack = -1;
    record.factoryProfileId = "factory-mag-2026-08-04-r1";
    record.samplePaths = { "/samples/kick.wav", "/samples/snare.wav" };
    record.coefs.fill (0.25);
    record.curve = { { { 0.0, 0.1 }, { 0.4, 0.6 }, { 1.0, 0.9 } }, { 0.3, 0.7 } };
    return record;
}

// A container around any payload: a correct header (unless changed) and a correct digest, so
// that a test reaches the checks behind the header and the integrity check.
struct Container
{
    std::uint32_t version = 1, stateVersion = 4, axisMode = 0, flags = 0;
    std::optional<std::uint64_t> length;
    std::uint64_t reserved = 0;

    std::vector<std::uint8_t> around (const std::vector<std::uint8_t>& payload) const
    {
        Bytes b;
        b.raw (std::string ("BWSETUP\0", 8)).u32 (version).u32 (stateVersion).u32 (axisMode).u32 (flags);
        b.u64 (length.value_or (payload.size())).u64 (reserved);
        b.data.insert (b.data.end(), payload.begin(), payload.end());
        reseal (b.data, 0);
        return b.data;
    }

    // Appends (or, with trailerBytes 32, replaces) the digest of everything before the trailer.
    static void reseal (std::vector<std::uint8_t>& bytes, std::size_t trailerBytes)
    {
        const auto digest = samplepack::Sha256::of (bytes.data(), bytes.size() - trailerBytes);
        bytes.resize (bytes.size() - trailerBytes);
        bytes.insert (bytes.end(), digest.begin(), digest.end());
    }
};

std::vector<std::uint8_t> containerOf (const Payload& payload) { return Container().around (payload.bytes()); }

std::vector<std::uint8_t> encoded (const StateRecord& record)
{
    juce::MemoryBlock block;
    EXPECT_EQ (encodeSetupContainer (record, block), "");
    const auto* data = static_cast<const std::uint8_t*> (block.getData());
    return { data, data + block.getSize() };
}

juce::String encodeError (const StateRecord& record)
{
    juce::MemoryBlock block ("stale", 5);
    const auto error = encodeSetupContainer (record, block);
    EXPECT_EQ (block.getSize(), 0u) << error;
    return error;
}

juce::String decodeError (const std::vector<std::uint8_t>& bytes)
{
    StateRecord record;
    record.thresholdK = 9.0;
    const auto error = decodeSetupContainer (bytes.data(), bytes.size(), record);
    EXPECT_EQ (record.thresholdK, 9.0) << "a refused container leaves the record alone";
    return error;
}

StateRecord decoded (const std::vector<std::uint8_t>& bytes)
{
    StateRecord record;
    record.importNotice = "stale";
    EXPECT_EQ (decodeSetupContainer (bytes.data(), bytes.size(), record), "");
    return record;
}

Payload with (const std::function<void (Payload&)>& change)
{
    Payload payload;
    change (payload);
    return payload;
}

std::string pathOfBytes (std::size_t size) { return "/" + std::string (size - 1, 'p'); }
} // namespace

TEST (SetupContainer, EncodesAsLaidOut)
{
    const auto bytes = encoded (payloadRecord());
    EXPECT_EQ (bytes, containerOf (Payload()));
    const auto payloadSize = Payload().bytes().size();
    EXPECT_EQ (bytes.size(), payloadSize + 72);
    EXPECT_EQ (std::memcmp (bytes.data(), "BWSETUP\0", 8), 0);
    EXPECT_EQ (bytes[24] + (bytes[25] << 8), static_cast<int> (payloadSize));
}

TEST (SetupContainer, RoundTripsARecord)
{
    EXPECT_EQ (decoded (encoded (payloadRecord())), payloadRecord());

    StateRecord plain;
    EXPECT_EQ (decoded (encoded (plain)), plain);
    plain.coefs.fill (notANumber); // not written without a valid model
    plain.builtInPack = 8;
    plain.cooldownMs = 150;
    auto expected = plain;
    expected.coefs = StateRecord().coefs;
    EXPECT_EQ (decoded (encoded (plain)), expected);

    auto noNotice = payloadRecord();
    noNotice.importNotice = "Imported v1 settings - detection profile requires recalibration";
    EXPECT_EQ (decoded (encoded (noNotice)).importNotice, "");
}

TEST (SetupContainer, WritesCooldownPlusOne)
{
    auto record = payloadRecord();
    record.cooldownMs = 0;
    const auto bytes = encoded (record);
    EXPECT_EQ (bytes[40 + 43], 1);
    EXPECT_EQ (decoded (bytes).cooldownMs, 0);

    EXPECT_EQ (decoded (containerOf (with ([] (Payload& p) { p.cooldown = 0; }))).cooldownMs, 25);
    EXPECT_EQ (decoded (containerOf (with ([] (Payload& p) { p.cooldown = 1; }))).cooldownMs, 0);
    EXPECT_EQ (decoded (containerOf (with ([] (Payload& p) { p.cooldown = 151; }))).cooldownMs, 150);
}

TEST (SetupContainer, WritesAUserOriginWithoutAnIdentifier)
{
    auto record = payloadRecord();
    record.profileIsFactory = false;
    const auto restored = decoded (encoded (record));
    EXPECT_FALSE (restored.profileIsFactory);
    EXPECT_EQ (restored.factoryProfileId, "");
}

TEST (SetupContainer, RefusesToEncodeInvalidState)
{
    const juce::String invalid = "Bopwell setup contains invalid state.";
    const juce::String unencodable = "Bopwell setup contains data that cannot be encoded.";
    struct Case
    {
        const char* name;
        std::function<void (StateRecord&)> change;
        juce::String message;
    };
    const Case cases[] = {
        { "gain above 1", [] (StateRecord& r) { r.masterGain = 1.01; }, invalid },
        { "NaN gain", [] (StateRecord& r) { r.masterGain = notANumber; }, invalid },
        { "cooldown 155", [] (StateRecord& r) { r.cooldownMs = 155; }, invalid },
        { "cooldown 27", [] (StateRecord& r) { r.cooldownMs = 27; }, invalid },
        { "cooldown -5", [] (StateRecord& r) { r.cooldownMs = -5; }, invalid },
        { "thresholdK above 10", [] (StateRecord& r) { r.thresholdK = 10.5; }, invalid },
        { "infinite thresholdK", [] (StateRecord& r) { r.thresholdK = infinity; }, invalid },
        { "negative calBackground", [] (StateRecord& r) { r.calBackground = -1e-9; }, invalid },
        { "infinite calLiveRef", [] (StateRecord& r) { r.calLiveRef = infinity; }, invalid },
        { "inputMax 0", [] (StateRecord& r) { r.inputMax = 0.0; }, invalid },
        { "NaN inputMax", [] (StateRecord& r) { r.inputMax = notANumber; }, invalid },
        { "79 paths",
          [] (StateRecord& r)
          {
              r.samplePaths.clear();
              for (int i = 0; i < 79; ++i)
                  r.samplePaths.add ("/s/" + juce::String (i));
          },
          invalid },
        { "pack 9 without paths",
          [] (StateRecord& r)
          {
              r.samplePaths.clear();
              r.builtInPack = 9;
          },
          invalid },
        { "pack -1 without paths",
          [] (StateRecord& r)
          {
              r.samplePaths.clear();
              r.builtInPack = -1;
          },
          invalid },
        { "pack 0 with paths", [] (StateRecord& r) { r.builtInPack = 0; }, invalid },
        { "factory without id", [] (StateRecord& r) { r.factoryProfileId = {}; }, invalid },
        { "256-byte factory id", [] (StateRecord& r) { r.factoryProfileId = juce::String::repeatedString ("f", 256); }, unencodable },
        { "4097-byte path", [] (StateRecord& r) { r.samplePaths.set (1, pathOfBytes (4097)); }, unencodable },
        { "ill-formed path",
          [] (StateRecord& r)
          { r.samplePaths.set (0, juce::String (juce::CharPointer_UTF8 ("/\xed\xa0\x80"), juce::CharPointer_UTF8 ("/\xed\xa0\x80" + 4))); },
          unencodable },
        { "NaN coefficient", [] (StateRecord& r) { r.coefs[23] = notANumber; }, unencodable },
        { "infinite coefficient", [] (StateRecord& r) { r.coefs[0] = -infinity; }, unencodable },
        { "curve off the edges",
          [] (StateRecord& r) {
              r.curve.points.front() = { 0.1, 0.2 };
          },
          unencodable },
        { "curve without shapes", [] (StateRecord& r) { r.curve.shapes.clear(); }, unencodable },
        { "curve of one point",
          [] (StateRecord& r) {
              r.curve = { { { 0.0, 0.0 } }, {} };
          },
          unencodable },
        { "curve of 1025 points",
          [] (StateRecord& r)
          {
              r.curve.points.resize (1025, { 1.0, 1.0 });
              r.curve.shapes.resize (1024, 0.5);
          },
          unencodable },
    };
    for (const auto& c : cases)
    {
        auto record = payloadRecord();
        c.change (record);
        EXPECT_EQ (encodeError (record), c.message) << c.name;
    }
}

TEST (SetupContainer, EncodesTheLongestStrings)
{
    auto record = payloadRecord();
    record.factoryProfileId = juce::String::repeatedString ("f", 255);
    record.samplePaths.set (1, pathOfBytes (4096));
    record.curve.points.resize (1024, { 1.0, 1.0 });
    record.curve.shapes.resize (1023, 0.5);
    EXPECT_EQ (decoded (encoded (record)), record);
}

TEST (SetupContainer, ChecksTheHeaderInOrder)
{
    const auto good = containerOf (Payload());
    const auto patched = [&] (std::size_t at, std::uint8_t value, bool reseal)
    {
        auto bytes = good;
        bytes[at] = value;
        if (reseal)
            Container::reseal (bytes, 32);
        return bytes;
    };
    const auto header = [] (const std::function<void (Container&)>& change)
    {
        Container container;
        change (container);
        return container.around (Payload().bytes());
    };
    struct Case
    {
        const char* name;
        std::vector<std::uint8_t> bytes;
        juce::String message;
    };
    const Case cases[] = {
        { "empty", {}, "Bopwell setup is truncated." },
        { "71 bytes", std::vector<std::uint8_t> (good.begin(), good.begin() + 71), "Bopwell setup is truncated." },
        { "magic", patched (0, 'X', true), "Bopwell setup has an invalid file identifier." },
        { "magic terminator", patched (7, '1', true), "Bopwell setup has an invalid file identifier." },
        { "container version", patched (8, 2, false), "Unsupported Bopwell setup container version." },
        { "container version high byte", header ([] (Container& c) { c.version = 0x01000001; }),
          "Unsupported Bopwell setup container version." },
        { "state version", patched (12, 3, false), "Unsupported Bopwell setup state version." },
        { "axis mode", patched (16, 1, false), "Bopwell setup axis mode does not match this build." },
        { "flags", header ([] (Container& c) { c.flags = 0x80000000; }), "Bopwell setup contains unsupported flags." },
        { "reserved", patched (39, 1, false), "Bopwell setup contains unsupported flags." },
        { "length 0", header ([] (Container& c) { c.length = 0; }), "Bopwell setup payload length is invalid." },
        { "length 1 048 505", header ([] (Container& c) { c.length = 1048505; }), "Bopwell setup payload length is invalid." },
        { "length 2^64 - 1", header ([] (Container& c) { c.length = ~std::uint64_t { 0 }; }), "Bopwell setup payload length is invalid." },
        { "length one over", header ([] (Container& c) { c.length = Payload().bytes().size() + 1; }),
          "Bopwell setup length does not match its header." },
        { "length one under", header ([] (Container& c) { c.length = Payload().bytes().size() - 1; }),
          "Bopwell setup length does not match its header." },
        { "payload byte", patched (40, good[40] ^ 1, false), "Bopwell setup integrity check failed." },
        { "last payload byte", patched (good.size() - 33, good[good.size() - 33] ^ 0x80, false), "Bopwell setup integrity check failed." },
        { "digest byte", patched (good.size() - 1, good.back() ^ 1, false), "Bopwell setup integrity check failed." },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        EXPECT_EQ (decodeError (c.bytes), c.message);
    }
}

TEST (SetupContainer, HoldsAtMostOneMebibyte)
{
    // The largest length passes the size checks and fails on its all-zero payload, whose curve
    // count is 0; no valid payload is anywhere near that large.
    const std::vector<std::uint8_t> zeros (maxPayloadBytes, 0);
    const auto largest = Container().around (zeros);
    ASSERT_EQ (largest.size(), 1048576u);
    EXPECT_EQ (decodeError (largest), "Bopwell setup contains an invalid curve length.");

    auto oneMore = Container().around (std::vector<std::uint8_t> (maxPayloadBytes + 1, 0));
    ASSERT_EQ (oneMore.size(), 1048577u);
    EXPECT_EQ (decodeError (oneMore), "Bopwell setup payload length is invalid.");
    Container claimsLargest;
    claimsLargest.length = maxPayloadBytes;
    EXPECT_EQ (decodeError (claimsLargest.around (std::vector<std::uint8_t> (maxPayloadBytes + 1, 0))),
               "Bopwell setup length does not match its header.");
}

TEST (SetupContainer, ChecksThePayloadInOrder)
{
    const juce::String truncated = "Bopwell setup payload is truncated.",
                       counts = "Bopwell setup payload contains invalid flags or counts.",
                       path = "Bopwell setup contains an invalid sample path.",
                       model = "Bopwell setup contains an invalid calibration model.",
                       curveLength = "Bopwell setup contains an invalid curve length.", curve = "Bopwell setup contains an invalid curve.",
                       values = "Bopwell setup contains invalid state values.",
                       absolute = "State sample paths must be non-empty absolute paths",
                       duplicate = "State samplePaths contains a duplicate path";
    const auto cut = [] (std::size_t size)
    {
        auto bytes = Payload().bytes();
        bytes.resize (size);
        return bytes;
    };
    struct Case
    {
        const char* name;
        std::vector<std::uint8_t> payload;
        juce::String message;
    };
    const auto bytesOf = [] (const std::function<void (Payload&)>& change) { return with (change).bytes(); };
    const Case cases[] = {
        // 10
        { "47 bytes", cut (47), truncated },
        { "no identifier length", cut (51), truncated },
        { "identifier past the end", cut (60), truncated },
        { "256-byte identifier", bytesOf ([] (Payload& p) { p.factoryId = std::string (256, 'f'); }), truncated },
        { "identifier with a zero byte", bytesOf ([] (Payload& p) { p.factoryId[3] = '\0'; }), truncated },
        { "identifier with a stray continuation", bytesOf ([] (Payload& p) { p.factoryId[3] = '\x80'; }), truncated },
        { "no path count", cut (48 + 4 + 25 + 3), truncated },
        // 11
        { "choke 2", bytesOf ([] (Payload& p) { p.choke = 2; }), counts },
        { "modelValid 2", bytesOf ([] (Payload& p) { p.modelValid = 2; }), counts },
        { "origin 2", bytesOf ([] (Payload& p) { p.factory = 2; }), counts },
        { "cooldown byte 152", bytesOf ([] (Payload& p) { p.cooldown = 152; }), counts },
        { "cooldown byte 255", bytesOf ([] (Payload& p) { p.cooldown = 255; }), counts },
        { "79 paths", bytesOf ([] (Payload& p) { p.pathCount = 79; }), counts },
        { "truncation before flags",
          bytesOf (
              [] (Payload& p)
              {
                  p.choke = 2;
                  p.factoryId = std::string (256, 'f');
              }),
          truncated },
        // 12
        { "4097-byte path", bytesOf ([] (Payload& p) { p.paths[1] = pathOfBytes (4097); }), path },
        { "more paths than bytes", bytesOf ([] (Payload& p) { p.pathCount = 78; }), path },
        { "path past the end", cut (48 + 4 + 25 + 4 + 4 + 10), path },
        { "path with a zero byte", bytesOf ([] (Payload& p) { p.paths[0][4] = '\0'; }), path },
        // 13
        { "model cut short",
          bytesOf (
              [] (Payload& p)
              {
                  p.coefs.resize (3);
                  p.curve.clear();
                  p.curveCount = 0;
              }),
          model },
        { "NaN coefficient", bytesOf ([] (Payload& p) { p.coefs[7] = notANumber; }), model },
        { "infinite coefficient", bytesOf ([] (Payload& p) { p.coefs[23] = infinity; }), model },
        // 14
        { "no curve count", cut (Payload().bytes().size() - 4 - 9 * 8), curveLength },
        { "curve count 0",
          bytesOf (
              [] (Payload& p)
              {
                  p.curve.clear();
                  p.curveCount = 0;
              }),
          curveLength },
        { "curve count 3073", bytesOf ([] (Payload& p) { p.curveCount = 3073; }), curveLength },
        // 15
        { "one curve value short", bytesOf ([] (Payload& p) { p.curveCount = 10; }), curve },
        { "NaN curve value", bytesOf ([] (Payload& p) { p.curve[4] = notANumber; }), curve },
        { "infinite count", bytesOf ([] (Payload& p) { p.curve[0] = infinity; }), curve },
        // 16
        { "trailing byte", bytesOf ([] (Payload& p) { p.trailing = std::string (1, '\0'); }),
          "Bopwell setup payload contains trailing data." },
        { "curve count short of the values", bytesOf ([] (Payload& p) { p.curveCount = 8; }),
          "Bopwell setup payload contains trailing data." },
        // 17
        { "curve rule", bytesOf ([] (Payload& p) { p.curve[1] = 0.05; }), values },
        { "curve count 2.5", bytesOf ([] (Payload& p) { p.curve = { 2.5, 0, 0, 1, 1, 0.5 }; }), values },
        { "cooldown byte 2", bytesOf ([] (Payload& p) { p.cooldown = 2; }), values },
        { "cooldown byte 150", bytesOf ([] (Payload& p) { p.cooldown = 150; }), values },
        { "gain 1.5", bytesOf ([] (Payload& p) { p.masterGain = 1.5; }), values },
        { "NaN gain", bytesOf ([] (Payload& p) { p.masterGain = notANumber; }), values },
        { "thresholdK 11", bytesOf ([] (Payload& p) { p.thresholdK = 11; }), values },
        { "negative calBackground", bytesOf ([] (Payload& p) { p.calBackground = -1; }), values },
        { "infinite calLiveRef", bytesOf ([] (Payload& p) { p.calLiveRef = infinity; }), values },
        { "inputMax 0", bytesOf ([] (Payload& p) { p.inputMax = 0; }), values },
        { "pack 0 with paths", bytesOf ([] (Payload& p) { p.builtInPack = 0; }), values },
        { "pack -2", bytesOf ([] (Payload& p) { p.builtInPack = -2; }), values },
        { "pack -1 without paths",
          bytesOf (
              [] (Payload& p)
              {
                  p.paths.clear();
                  p.builtInPack = -1;
              }),
          values },
        { "pack 9 without paths",
          bytesOf (
              [] (Payload& p)
              {
                  p.paths.clear();
                  p.builtInPack = 9;
              }),
          values },
        { "factory without identifier", bytesOf ([] (Payload& p) { p.factoryId.clear(); }), values },
        { "user with identifier", bytesOf ([] (Payload& p) { p.factory = 0; }), values },
        { "valid model with background 0", bytesOf ([] (Payload& p) { p.calBackground = 0; }), values },
        { "values before paths",
          bytesOf (
              [] (Payload& p)
              {
                  p.masterGain = 2;
                  p.paths[0] = "relative";
              }),
          values },
        // 18
        { "relative path", bytesOf ([] (Payload& p) { p.paths[1] = "samples/snare.wav"; }), absolute },
        { "empty path", bytesOf ([] (Payload& p) { p.paths[0] = ""; }), absolute },
        { "duplicate path", bytesOf ([] (Payload& p) { p.paths[1] = "/SAMPLES/Kick.wav"; }), duplicate },
        { "relative before duplicate",
          bytesOf (
              [] (Payload& p) {
                  p.paths = { "/a", "b", "/A" };
              }),
          absolute },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        ASSERT_FALSE (c.payload.empty());
        EXPECT_EQ (decodeError (Container().around (c.payload)), c.message);
    }
}

TEST (SetupContainer, ReadsTheAcceptedEdges)
{
    EXPECT_EQ (decoded (containerOf (with ([] (Payload& p) { p.paths[1] = pathOfBytes (4096); }))).samplePaths[1],
               juce::String (pathOfBytes (4096)));
    EXPECT_EQ (decoded (containerOf (with ([] (Payload& p) { p.factoryId = std::string (255, 'f'); }))).factoryProfileId.length(), 255);

    const auto noModel = decoded (containerOf (with (
        [] (Payload& p)
        {
            p.modelValid = 0;
            p.calBackground = 0;
        })));
    EXPECT_FALSE (noModel.modelValid);
    EXPECT_EQ (noModel.coefs, StateRecord().coefs);

    const auto user = decoded (containerOf (with (
        [] (Payload& p)
        {
            p.factory = 0;
            p.factoryId.clear();
            p.paths.clear();
            p.builtInPack = 8;
        })));
    EXPECT_FALSE (user.profileIsFactory);
    EXPECT_EQ (user.builtInPack, 8);
    EXPECT_TRUE (user.samplePaths.isEmpty());

    EXPECT_EQ (decoded (containerOf (with ([] (Payload& p) { p.curve = { 2, 0, 0.2, 1, 1, 0.5 }; }))).curve,
               (VelocityCurve { { { 0.0, 0.2 }, { 1.0, 1.0 } }, { 0.5 } }));
}

TEST (SetupContainer, AcceptsOnlyWellFormedUtf8)
{
    struct Case
    {
        const char* name;
        std::string bytes;
        bool valid;
    };
    const Case cases[] = {
        { "ASCII", "abc", true },
        { "two bytes", "\xc3\xa9", true },
        { "lowest two bytes", "\xc2\x80", true },
        { "three bytes", "\xe2\x82\xac", true },
        { "lowest three bytes", "\xe0\xa0\x80", true },
        { "below the surrogates", "\xed\x9f\xbf", true },
        { "above the surrogates", "\xee\x80\x80", true },
        { "four bytes", "\xf0\x9f\x98\x80", true },
        { "lowest four bytes", "\xf0\x90\x80\x80", true },
        { "U+10FFFF", "\xf4\x8f\xbf\xbf", true },
        { "zero byte", std::string ("a\0b", 3), false },
        { "stray continuation", "a\x80", false },
        { "stray continuation at the start", "\xbf", false },
        { "overlong C0", "\xc0\xaf", false },
        { "overlong C1", "\xc1\xbf", false },
        { "overlong E0 80", "\xe0\x80\xaf", false },
        { "overlong E0 9F", "\xe0\x9f\xbf", false },
        { "overlong F0 80", "\xf0\x80\x80\xaf", false },
        { "overlong F0 8F", "\xf0\x8f\xbf\xbf", false },
        { "surrogate ED A0", "\xed\xa0\x80", false },
        { "surrogate ED BF", "\xed\xbf\xbf", false },
        { "above U+10FFFF", "\xf4\x90\x80\x80", false },
        { "F5", "\xf5\x80\x80\x80", false },
        { "FF", "\xff", false },
        { "truncated two bytes", "\xc3", false },
        { "truncated three bytes", "\xe2\x82", false },
        { "truncated four bytes", "\xf0\x9f\x98", false },
        { "bad second continuation", "\xe2\x82\x41", false },
        { "bad third continuation", "\xf0\x9f\x98\x41", false },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto container = containerOf (with ([&] (Payload& p) { p.paths[0] = "/" + c.bytes; }));
        if (c.valid)
            EXPECT_EQ (decoded (container).samplePaths[0].toStdString(), "/" + c.bytes);
        else
            EXPECT_EQ (decodeError (container), "Bopwell setup contains an invalid sample path.");
    }
}
