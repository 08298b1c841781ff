#include "cli/Cli.h"

#include <juce_core/juce_core.h>

#include <gtest/gtest.h>

#include <sstream>

namespace
{
struct CliResult
{
    int status = 0;
    std::string out;
    std::string err;
};

CliResult runCli (const std::vector<std::string>& args)
{
    std::ostringstream out;
    std::ostringstream err;
    const int status = bopwell::cli::run (args, out, err);
    return { status, out.str(), err.str() };
}

std::vector<std::string> lines (const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in (text);
    for (std::string line; std::getline (in, line);)
        result.push_back (line);
    return result;
}

class CliTest : public ::testing::Test
{
protected:
    std::string path (const char* name) const { return folder.getChildFile (name).getFullPathName().toStdString(); }

    juce::TemporaryFile temporary;
    juce::File folder = [this]
    {
        temporary.getFile().createDirectory();
        return temporary.getFile();
    }();

    void TearDown() override { folder.deleteRecursively(); }
};
} // namespace

TEST_F (CliTest, DetectFindsEveryTapOfASimulatedStreamAndNoneOnAQuietDesk)
{
    struct Case
    {
        const char* taps;
        size_t expectedHits;
    };
    for (const auto& c : { Case { "0.5,1.5,2.5,3.5,4.5", 5 }, Case { "0.3,0.9,1.6,2.2,2.7,3.3,4.1,4.7", 8 }, Case { "none", 0 } })
    {
        const auto stream = path ("stream.csv");
        const auto simulated = runCli ({ "simulate", "--seconds", "5", "--taps", c.taps, "--out", stream });
        ASSERT_EQ (simulated.status, 0) << simulated.err;

        const auto detected = runCli ({ "detect", stream });
        ASSERT_EQ (detected.status, 0) << detected.err;
        const auto rows = lines (detected.out);
        ASSERT_FALSE (rows.empty());
        EXPECT_EQ (rows.front(), "sample,onset_ms,strength,input,level");
        EXPECT_EQ (rows.size() - 1, c.expectedHits) << c.taps;
    }
}

TEST_F (CliTest, DetectRowsCarryTheFiringSampleAndOnset)
{
    const auto stream = path ("one.csv");
    ASSERT_EQ (runCli ({ "simulate", "--seconds", "1", "--taps", "0.5:0.5", "--out", stream }).status, 0);
    const auto rows = lines (runCli ({ "detect", stream }).out);
    ASSERT_EQ (rows.size(), 2u);
    // The tap starts at row 400; the 3-sample peak window closes at row 403, and the onset is
    // put 3 samples of 802.5 Hz before that row's arrival at 503.75 ms.
    EXPECT_EQ (rows[1], "403,500.012,0.312499737,1.000000,1.000000");
}

TEST_F (CliTest, SensitivityRaisesTheThresholdAboveALightTap)
{
    const auto stream = path ("light.csv");
    ASSERT_EQ (runCli ({ "simulate", "--seconds", "1", "--taps", "0.5:0.0015", "--out", stream }).status, 0);
    EXPECT_EQ (lines (runCli ({ "detect", stream }).out).size(), 2u);
    EXPECT_EQ (lines (runCli ({ "detect", stream, "--sensitivity", "0" }).out).size(), 1u);
}

TEST_F (CliTest, ProblemsAreReportedWithTheirExitStatus)
{
    struct Case
    {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const auto missing = path ("missing.csv");
    const Case cases[] = {
        { {}, 2, "Usage: bopwell-cli COMMAND" },
        { { "frobnicate" }, 2, "bopwell-cli: unknown command \"frobnicate\"\nTry 'bopwell-cli --help'.\n" },
        { { "detect" }, 2, "bopwell-cli detect: expects one stream file\nTry 'bopwell-cli detect --help'.\n" },
        { { "detect", "a.csv", "--loud" }, 2, "bopwell-cli detect: unknown option --loud\n" },
        { { "detect", "a.csv", "--rate" }, 2, "bopwell-cli detect: --rate needs a value\n" },
        { { "detect", "a.csv", "--rate", "fast" }, 2, "bopwell-cli detect: --rate takes a number from 1 to 100000, not \"fast\"\n" },
        { { "detect", "a.csv", "--cooldown=200" }, 2, "bopwell-cli detect: --cooldown takes a number from 0 to 150, not \"200\"\n" },
        { { "detect", missing }, 1, "Could not open the stream file \"" + missing + "\".\n" },
        { { "simulate" }, 2, "bopwell-cli simulate: --out FILE is required\n" },
        { { "simulate", "--out", "x.csv", "--taps", "9" },
          2,
          "bopwell-cli simulate: --taps: \"9\" is not a time within the stream's 5 s\n" },
        { { "simulate", "--out", "x.csv", "--taps", "1:0" },
          2,
          "bopwell-cli simulate: --taps: \"1:0\" needs a strength above 0 and at most 8 g\n" },
        { { "simulate", "--out", "x.csv", "--seed", "-1" },
          2,
          "bopwell-cli simulate: --seed takes a whole number from 0 to 9007199254740992, not \"-1\"\n" },
        { { "simulate", "--out", "/nonexistent/dir/x.csv", "--seconds", "0.1" },
          1,
          "Could not write the stream file \"/nonexistent/dir/x.csv\".\n" },
    };
    for (const auto& c : cases)
    {
        const auto result = runCli (c.args);
        EXPECT_EQ (result.status, c.status) << c.err;
        EXPECT_TRUE (result.err.starts_with (c.err)) << result.err;
        EXPECT_TRUE (result.out.empty()) << result.out;
    }
}

TEST_F (CliTest, HelpIsAvailableEverywhere)
{
    for (const auto& args : std::vector<std::vector<std::string>> { { "--help" }, { "detect", "--help" }, { "simulate", "-h" } })
    {
        const auto result = runCli (args);
        EXPECT_EQ (result.status, 0);
        EXPECT_TRUE (result.out.starts_with ("Usage: bopwell-cli")) << result.out;
    }
}

TEST_F (CliTest, RenderIsRepeatableBitForBitAndReportsWhatPlayed)
{
    const auto stream = path ("taps.csv");
    ASSERT_EQ (runCli ({ "simulate", "--seconds", "3", "--taps", "0.5,1.0,1.5,2.0", "--out", stream }).status, 0);

    const auto first = runCli ({ "render", stream, "--out", path ("a.wav"), "--seed", "5", "--pack", "4" });
    ASSERT_EQ (first.status, 0) << first.err;
    const auto second = runCli ({ "render", stream, "--out", path ("b.wav"), "--seed", "5", "--pack", "4" });
    EXPECT_EQ (first.out, second.out);
    EXPECT_TRUE (first.out.starts_with ("{\"hits\":4,\"hitsAccepted\":4,\"hitsDropped\":0,\"voicesStarted\":4,\"frames\":")) << first.out;
    EXPECT_TRUE (first.out.ends_with (",\"guardTripped\":false}\n")) << first.out;

    juce::MemoryBlock a, b;
    ASSERT_TRUE (juce::File (path ("a.wav")).loadFileAsData (a));
    ASSERT_TRUE (juce::File (path ("b.wav")).loadFileAsData (b));
    EXPECT_GT (a.getSize(), 3u * 48000u * 8u);
    EXPECT_TRUE (a == b);

    const auto otherSeed = runCli ({ "render", stream, "--out", path ("c.wav"), "--seed", "6", "--pack", "4" });
    juce::MemoryBlock c;
    ASSERT_TRUE (juce::File (path ("c.wav")).loadFileAsData (c));
    EXPECT_FALSE (a == c); // Bubble Wrap's shuffle and pan spread follow the seed
}

TEST_F (CliTest, RenderRefusesBadArguments)
{
    struct Case
    {
        std::vector<std::string> args;
        std::string err;
    };
    const Case cases[] = {
        { { "render", "s.csv" }, "bopwell-cli render: --out FILE.wav is required\n" },
        { { "render", "s.csv", "--out", "x.wav", "--pack", "9" },
          "bopwell-cli render: --pack takes a built-in pack from 0 to 8, or a path, not \"9\"\n" },
        { { "render", "s.csv", "--out", "x.wav", "--block", "0" },
          "bopwell-cli render: --block takes a whole number from 1 to 8192, not \"0\"\n" },
    };
    for (const auto& c : cases)
    {
        const auto result = runCli (c.args);
        EXPECT_EQ (result.status, 2);
        EXPECT_TRUE (result.err.starts_with (c.err)) << result.err;
    }
}

TEST_F (CliTest, LiveRunsTheEngineInRealTimeFromSensorToSpeaker)
{
    const auto result = runCli ({ "live", "--seconds", "4", "--taps", "3" });
    ASSERT_EQ (result.status, 0) << result.err << result.out;
    const auto json = juce::JSON::parse (juce::String (result.out));
    EXPECT_EQ (static_cast<int> (json["hits"]), 3) << result.out;
    EXPECT_EQ (static_cast<int> (json["hitsAccepted"]), 3) << result.out;
    EXPECT_EQ (static_cast<int> (json["voicesStarted"]), 3) << result.out;
    EXPECT_NEAR (static_cast<double> (json["sensorRateHz"]), 800.0, 20.0) << result.out;
    EXPECT_FALSE (static_cast<bool> (json["sensorFailed"]));
    EXPECT_EQ (json["errorMessage"].toString(), "");
}

TEST_F (CliTest, CalibrateAcceptsASimulatedCalibrationAndSaysHowFarAShortOneGot)
{
    const auto stream = path ("calibration.csv");
    ASSERT_EQ (runCli ({ "simulate", "--seconds", "36", "--taps", "none", "--calibration", "0", "--out", stream }).status, 0);

    const auto accepted = runCli ({ "calibrate", stream });
    ASSERT_EQ (accepted.status, 0) << accepted.err << accepted.out;
    const auto result = juce::JSON::parse (juce::String (accepted.out));
    EXPECT_EQ (static_cast<int> (result["phase"]), 6);
    EXPECT_GE (static_cast<double> (result["removal"]), 0.8);
    EXPECT_EQ (result["coefs"].size(), 24);
    EXPECT_EQ (static_cast<int> (result["lightCount"]) + static_cast<int> (result["mediumCount"]) + static_cast<int> (result["firmCount"]),
               15);

    const auto shortStream = path ("short.csv");
    ASSERT_EQ (runCli ({ "simulate", "--seconds", "10", "--taps", "none", "--calibration", "0", "--out", shortStream }).status, 2);
    ASSERT_EQ (runCli ({ "simulate", "--seconds", "10", "--taps", "none", "--out", shortStream }).status, 0);
    const auto unfinished = runCli ({ "calibrate", shortStream });
    EXPECT_EQ (unfinished.status, 1);
    EXPECT_EQ (static_cast<int> (juce::JSON::parse (juce::String (unfinished.out))["phase"]), 3); // waiting for taps
}

TEST_F (CliTest, PackBuildWritesWhatVerifyAndRenderLoad)
{
    const auto stream = path ("taps.csv");
    ASSERT_EQ (runCli ({ "simulate", "--seconds", "2", "--out", stream }).status, 0);
    const auto kit = folder.getChildFile ("kit");
    ASSERT_TRUE (kit.createDirectory());
    ASSERT_EQ (runCli ({ "render", stream, "--out", kit.getChildFile ("one.wav").getFullPathName().toStdString() }).status, 0);
    ASSERT_EQ (runCli ({ "render", stream, "--pack", "5", "--out", kit.getChildFile ("two.wav").getFullPathName().toStdString() }).status,
               0);

    const auto packFile = path ("kit.bopwellpack");
    const auto built = runCli ({ "pack", "build", kit.getFullPathName().toStdString(), "--out", packFile, "--name", "Desk Kit" });
    ASSERT_EQ (built.status, 0) << built.err;
    EXPECT_EQ (built.out, "Wrote 2 samples as \"Desk Kit\" to " + packFile + ".\n");

    const auto verified = runCli ({ "pack", "verify", packFile });
    ASSERT_EQ (verified.status, 0) << verified.out;
    const auto json = juce::JSON::parse (juce::String (verified.out));
    EXPECT_TRUE (static_cast<bool> (json["ok"]));
    EXPECT_EQ (json["name"].toString(), "Desk Kit");
    EXPECT_EQ (json["samples"].size(), 2);
    EXPECT_EQ (static_cast<int> (json["samples"][0]["channels"]), 2);

    const auto rendered = runCli ({ "render", stream, "--pack", packFile, "--out", path ("custom.wav") });
    EXPECT_EQ (rendered.status, 0) << rendered.err;
    EXPECT_TRUE (rendered.out.starts_with ("{\"hits\":2,\"hitsAccepted\":2,\"hitsDropped\":0,\"voicesStarted\":2,")) << rendered.out;
}

TEST_F (CliTest, PackRefusesWhatLoadingRefuses)
{
    const auto notes = folder.getChildFile ("notes.txt");
    ASSERT_TRUE (notes.replaceWithText ("not audio"));

    const auto verified = runCli ({ "pack", "verify", notes.getFullPathName().toStdString() });
    EXPECT_EQ (verified.status, 1);
    EXPECT_EQ (juce::JSON::parse (juce::String (verified.out))["message"].toString(),
               "Choose one supported audio sample, folder, or .bopwellpack file.");

    const auto packFile = path ("never.bopwellpack");
    const auto built = runCli ({ "pack", "build", path ("missing.wav"), "--out", packFile });
    EXPECT_EQ (built.status, 1);
    EXPECT_FALSE (built.err.empty());
    EXPECT_FALSE (juce::File (packFile).exists());

    EXPECT_EQ (runCli ({ "pack", "build", path ("a.wav"), folder.getFullPathName().toStdString(), "--out", packFile }).status, 2);
    EXPECT_EQ (runCli ({ "pack", "shrink", "x" }).status, 2);
}

TEST_F (CliTest, CaptureExportsTheFirstStrikeOfAStream)
{
    const auto stream = path ("strike.csv");
    ASSERT_EQ (runCli ({ "simulate", "--seconds", "2", "--taps", "0.5:0.1,1.2", "--out", stream }).status, 0);
    const auto capture = path ("capture.csv");
    const auto result = runCli ({ "capture", stream, "--out", capture });
    ASSERT_EQ (result.status, 0) << result.err;

    const auto rows = lines (juce::File (capture).loadFileAsString().toStdString());
    ASSERT_EQ (rows.size(), 8u + 544u);
    EXPECT_TRUE (rows[8 + 32].starts_with ("32,0.000,")) << rows[8 + 32];
    EXPECT_TRUE (std::any_of (rows.begin() + 8, rows.end(), [] (const std::string& row) { return row.ends_with (",1"); }));

    const auto quiet = path ("quiet.csv");
    ASSERT_EQ (runCli ({ "simulate", "--seconds", "1", "--taps", "none", "--out", quiet }).status, 0);
    const auto nothing = runCli ({ "capture", quiet, "--out", path ("none.csv") });
    EXPECT_EQ (nothing.status, 1);
    EXPECT_EQ (nothing.err, "Nothing to export - capture a strike first\n");
}

TEST_F (CliTest, SetupExportDecodeAndImportAgree)
{
    const auto exported =
        runCli ({ "setup", "export", path ("studio"), "--volume", "40", "--cooldown", "60", "--choke", "off", "--pack", "4" });
    ASSERT_EQ (exported.status, 0) << exported.err << exported.out;
    const auto file = path ("studio.bopwellsetup");
    const auto exportedJson = juce::JSON::parse (juce::String (exported.out));
    EXPECT_TRUE (static_cast<bool> (exportedJson["ok"]));
    EXPECT_EQ (exportedJson["path"].toString(), juce::String (file));

    for (const auto& command : { "decode", "import" })
    {
        SCOPED_TRACE (command);
        const auto result = runCli ({ "setup", command, file });
        ASSERT_EQ (result.status, 0) << result.err << result.out;
        const auto json = juce::JSON::parse (juce::String (result.out));
        const auto state = json["state"];
        EXPECT_EQ (static_cast<double> (state["masterGain"]), 0.4f);
        EXPECT_EQ (static_cast<int> (state["cooldownMs"]), 60);
        EXPECT_FALSE (static_cast<bool> (state["choke"]));
        EXPECT_EQ (static_cast<int> (state["builtInPack"]), 4);
        EXPECT_EQ (state["profileOrigin"].toString(), "factory");
    }

    // The restored setup drives detection: a 150 ms cooldown cannot change what fires, but the
    // setup's calibration is the one in use.
    const auto stream = path ("taps.csv");
    ASSERT_EQ (runCli ({ "simulate", "--seconds", "2", "--taps", "0.5,1.5", "--out", stream }).status, 0);
    EXPECT_EQ (lines (runCli ({ "detect", stream, "--setup", file }).out).size(), 3u);
}

TEST_F (CliTest, SetupRefusalsNameWhatWasWrong)
{
    const auto notJson = path ("notes.json");
    juce::File (notJson).replaceWithText ("[[[1]]]");
    const auto decoded = runCli ({ "setup", "decode", notJson });
    EXPECT_EQ (decoded.status, 1);
    EXPECT_EQ (decoded.out, "{\"ok\": false, \"message\": \"State is not a JSON object\"}\n");

    const auto imported = runCli ({ "setup", "import", notJson });
    EXPECT_EQ (imported.status, 1);
    EXPECT_EQ (imported.out, "{\"ok\": false, \"title\": \"Setup import warning\", \"message\": \"State is not a JSON object\"}\n");

    const auto wrongName = path ("notes.txt");
    juce::File (wrongName).replaceWithText ("{}");
    EXPECT_EQ (
        runCli ({ "setup", "import", wrongName }).out,
        "{\"ok\": false, \"title\": \"Setup import failed\", \"message\": \"Choose a .bopwellsetup file or a legacy .json setup.\"}\n");

    EXPECT_EQ (runCli ({ "setup", "import", notJson, "--volume", "3" }).err,
               "bopwell-cli setup: --volume belongs to setup export\nTry 'bopwell-cli setup --help'.\n");
    EXPECT_EQ (runCli ({ "setup", "frobnicate", notJson }).status, 2);
    EXPECT_EQ (runCli ({ "setup", "export", path ("x"), "--choke", "maybe" }).status, 2);
}

TEST_F (CliTest, RecordWritesTheSessionFileAsTheAppDoes)
{
    const auto stream = path ("desk.csv");
    ASSERT_EQ (runCli ({ "simulate", "--seconds", "2", "--taps", "0.5,1.5", "--out", stream }).status, 0);

    const auto session = path ("typing.csv");
    const auto result = runCli ({ "record", stream, "--out", session, "--scenario", "typing" });
    ASSERT_EQ (result.status, 0) << result.err;
    EXPECT_EQ (result.out, "{\"status\": 6, \"rowsWritten\": 1600, \"droppedRows\": 0, \"ioStatus\": 0, \"errorText\": \"\"}\n");

    juce::StringArray rows;
    rows.addLines (juce::File (session).loadFileAsString());
    rows.removeEmptyStrings();
    EXPECT_EQ (rows[0], "# sensorRateHz,802.5");
    EXPECT_TRUE (rows.contains ("# scenario,typing"));
    EXPECT_TRUE (rows[17].startsWith ("0,0.000,")) << rows[17]; // the first row, at the session's start
    int fired = 0;
    for (int i = 17; i < rows.size() - 1; ++i)
        fired += juce::StringArray::fromTokens (rows[i], ",", "")[11].getIntValue();
    EXPECT_EQ (fired, 2);
    // The stream ends before the script does: stopped as a user would, with an incomplete footer.
    const auto scripted = runCli ({ "record", stream, "--out", path ("script.csv"), "--script" });
    EXPECT_EQ (scripted.status, 0);
    EXPECT_TRUE (scripted.out.starts_with ("{\"status\": 0,")) << scripted.out;

    EXPECT_EQ (runCli ({ "record", stream, "--out", path ("x.csv"), "--script", "--scenario", "quiet" }).status, 2);
    const auto refused = runCli ({ "record", stream, "--out", "/nonexistent/dir/x.csv" });
    EXPECT_EQ (refused.status, 1);
    EXPECT_EQ (refused.err, "Session cannot start; check sensor/calibration/output: Could not write the CSV header\n");
}
