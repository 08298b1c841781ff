#include "state/StateJson.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace bopwell;

namespace
{
using Edit = std::function<void (juce::DynamicObject&)>;

// A record with every field away from its default; its doubles survive JUCE's JSON writer.
StateRecord fullRecord()
{
    StateRecord record;
    for (size_t i = 0; i < record.coefs.size(); ++i)
        record.coefs[i] = 0.125 * static_cast<double> (i) - 1.5;
    record.modelValid = true;
    record.curve = { { { 0.0, 0.1 }, { 0.4, 0.6 }, { 1.0, 0.9 } }, { 0.3, 0.7 } };
    record.thresholdK = 3.5;
    record.calBackground = 0.000382724490646;
    record.calLiveRef = 3.3266398203e-05;
    record.inputMax = 0.25;
    record.masterGain = 0.5;
    record.cooldownMs = 40;
    record.choke = false;
    record.samplePaths = { "/samples/kick.wav", "/samples/snare.wav" };
    record.builtInPack = -1;
    record.profileIsFactory = true;
    record.factoryProfileId = "factory-mag-2026-08-04-r1";
    return record;
}

juce::var objectOf (const StateRecord& record, const Edit& edit)
{
    auto json = stateToJson (record);
    if (edit)
        edit (*json.getDynamicObject());
    return json;
}

// The text of a valid version 4 state (the full record) after `edit`.
juce::String v4 (const Edit& edit = {}) { return juce::JSON::toString (objectOf (fullRecord(), edit), true); }

// A version 1 state: the four first-generation keys and the three that later files share.
juce::String v1 (const Edit& edit = {})
{
    auto* object = new juce::DynamicObject();
    juce::var json (object);
    object->setProperty ("thresholdK", 3.0);
    object->setProperty ("calBackground", 0.5);
    object->setProperty ("calLiveRef", 0.25);
    object->setProperty ("inputMax", 0.1);
    object->setProperty ("choke", false);
    object->setProperty ("modelValid", true);
    object->setProperty ("curve", juce::Array<juce::var> { 2, 0.0, 0.0, 1.0, 1.0, 0.5 });
    if (edit)
        edit (*object);
    return juce::JSON::toString (json, true);
}

Edit set (const char* key, const juce::var& value)
{
    return [=] (juce::DynamicObject& o) { o.setProperty (key, value); };
}

Edit without (const char* key)
{
    return [=] (juce::DynamicObject& o) { o.removeProperty (key); };
}

Edit both (Edit first, Edit second)
{
    return [=] (juce::DynamicObject& o)
    {
        first (o);
        second (o);
    };
}

juce::var array (std::initializer_list<juce::var> values) { return juce::Array<juce::var> (values); }

juce::var paths (int count)
{
    juce::Array<juce::var> list;
    for (int i = 0; i < count; ++i)
        list.add ("/samples/" + juce::String (i) + ".wav");
    return list;
}

juce::String readError (const juce::String& text)
{
    StateRecord record;
    juce::String error;
    EXPECT_FALSE (stateFromJson (text, record, error)) << text;
    return error;
}

StateRecord readOk (const juce::String& text)
{
    StateRecord record;
    juce::String error = "untouched";
    EXPECT_TRUE (stateFromJson (text, record, error)) << error << "\n" << text;
    EXPECT_EQ (error, "");
    return record;
}

juce::String repeated (const char* piece, int count)
{
    // Built as std::string: appending to a juce::String measures the whole string every time.
    std::string text;
    for (int i = 0; i < count; ++i)
        text += piece;
    return juce::String (text);
}
} // namespace

TEST (StateJson, WritesTheKeysInOrder)
{
    const auto json = stateToJson (fullRecord());
    juce::StringArray keys;
    for (const auto& property : json.getDynamicObject()->getProperties())
        keys.add (property.name.toString());
    EXPECT_EQ (keys.joinIntoString (","), "stateVersion,playbackMode,sampleSelection,axisMode,backgroundStat,masterGain,cooldownMs,"
                                          "thresholdK,calBackground,calLiveRef,inputMax,choke,modelValid,profileOrigin,"
                                          "factoryProfileId,samplePaths,builtInPack,coefs,curve");
    EXPECT_TRUE (json["stateVersion"].isInt());
    EXPECT_EQ (static_cast<int> (json["stateVersion"]), 4);
    EXPECT_EQ (json["playbackMode"].toString(), "fixed");
    EXPECT_EQ (json["sampleSelection"].toString(), "shuffle-bag-no-repeat-v1");
    EXPECT_TRUE (json["axisMode"].isInt());
    EXPECT_EQ (json["backgroundStat"].toString(), "env5ms");
    EXPECT_TRUE (json["cooldownMs"].isInt());
    EXPECT_TRUE (json["builtInPack"].isInt());
    EXPECT_TRUE (json["choke"].isBool());
    EXPECT_EQ (json["profileOrigin"].toString(), "factory");
    EXPECT_EQ (json["coefs"].size(), 24);
    EXPECT_EQ (json["curve"].size(), 9);
    EXPECT_EQ (static_cast<double> (json["curve"][0]), 3.0);
}

TEST (StateJson, LeavesOutTheFactoryIdAndTheModelWhenTheyDoNotApply)
{
    auto record = fullRecord();
    record.profileIsFactory = false;
    record.modelValid = false;
    const auto json = stateToJson (record);
    EXPECT_EQ (json["profileOrigin"].toString(), "user");
    EXPECT_FALSE (json.getDynamicObject()->hasProperty ("factoryProfileId"));
    EXPECT_FALSE (json.getDynamicObject()->hasProperty ("coefs"));
}

TEST (StateJson, RoundTripsARecordThroughText)
{
    const auto record = fullRecord();
    EXPECT_EQ (readOk (juce::JSON::toString (stateToJson (record))), record);

    StateRecord plain;
    plain.cooldownMs = 0;
    EXPECT_EQ (readOk (juce::JSON::toString (stateToJson (plain))), plain);
    plain.builtInPack = 8;
    EXPECT_EQ (readOk (juce::JSON::toString (stateToJson (plain), true)), plain);
}

TEST (StateJson, RefusesEveryFaultWithItsMessage)
{
    struct Case
    {
        const char* name;
        juce::String text;
        juce::String message;
    };
    const juce::String notObject = "State is not a JSON object", version = "Unsupported state version",
                       number = "State contains an invalid numeric value", cooldown = "State contains an invalid Cooldown value",
                       factoryId = "Factory calibration state is missing its profile id",
                       booleanType = "State boolean property has the wrong type",
                       axis = "State axis mode does not match this build (mag/z)",
                       absolute = "State sample paths must be non-empty absolute paths",
                       packMismatch = "State builtInPack does not match its sample paths",
                       packMissing = "State builtInPack is missing or not numeric", curve = "State curve is invalid",
                       incomplete = "Valid model state is incomplete", coefficient = "State model contains a non-finite coefficient";
    const auto v2 = [] (const Edit& edit = {})
    {
        return v4 (both (
            [] (juce::DynamicObject& o)
            {
                o.setProperty ("stateVersion", 2);
                o.removeProperty ("samplePaths");
                o.removeProperty ("builtInPack");
            },
            edit ? edit : Edit ([] (juce::DynamicObject&) {})));
    };
    const auto v3 = [] (const Edit& edit) { return v4 (both (set ("stateVersion", 3), edit)); };
    juce::Array<juce::var> shortCoefs (*objectOf (fullRecord(), {})["coefs"].getArray());
    shortCoefs.removeLast();

    const Case cases[] = {
        // 1: the text must parse to an object.
        { "array", "[1, 2]", notObject },
        { "array holding the state", "[" + v4() + "]", notObject },
        { "empty text", "", notObject },
        { "number", "42", notObject },
        { "syntax error", "{\"thresholdK\": }", notObject },
        { "ill-formed UTF-8", "{\"a\": \"" + juce::String::fromUTF8 ("\xc3\x28", 2) + "\"}", notObject },
        { "minus at the end", "{\"a\": -", notObject },
        { "minus before a bracket", "{\"a\": -[", notObject },
        { "integer beyond 64 bits", v4 (set ("cooldownMs", 0)).replace ("\"cooldownMs\": 0", "\"cooldownMs\": 18446744073709551641"),
          notObject },
        { "exponent beyond 32 bits", v4().replace ("\"thresholdK\": 3.5", "\"thresholdK\": 2e4294967296"), notObject },
        // 2: the profile origin.
        { "origin not a string", v4 (set ("profileOrigin", 1)), "State profileOrigin is not a string" },
        { "unknown origin", v4 (set ("profileOrigin", "robot")), "Unsupported calibration profile origin" },
        { "factory without id", v4 (without ("factoryProfileId")), factoryId },
        { "factory with empty id", v4 (set ("factoryProfileId", "")), factoryId },
        { "factory with numeric id", v4 (set ("factoryProfileId", 7)), factoryId },
        // 3: the version.
        { "version 5", v4 (set ("stateVersion", 5)), version },
        { "version 2.5", v4 (set ("stateVersion", 2.5)), version },
        { "version as text", v4 (set ("stateVersion", "4")), version },
        { "version 0", v4 (set ("stateVersion", 0)), version },
        { "version true", v4 (set ("stateVersion", true)), version },
        { "version beyond 32 bits", v4 (set ("stateVersion", juce::int64 (4) + (juce::int64 (1) << 32))), version },
        // 4: presence, in order.
        { "empty object", "{}", "State is missing thresholdK" },
        { "no calBackground", v4 (without ("calBackground")), "State is missing calBackground" },
        { "no calLiveRef", v4 (without ("calLiveRef")), "State is missing calLiveRef" },
        { "no inputMax", v4 (without ("inputMax")), "State is missing inputMax" },
        { "no choke", v4 (without ("choke")), "State is missing choke" },
        { "no modelValid", v4 (without ("modelValid")), "State is missing modelValid" },
        { "no curve", v4 (without ("curve")), "State is missing curve" },
        { "first absent key wins", v4 (both (without ("curve"), without ("inputMax"))), "State is missing inputMax" },
        // 5: numeric properties.
        { "thresholdK as text", v4 (set ("thresholdK", "2")), "State property is not numeric: thresholdK" },
        { "calBackground true", v4 (set ("calBackground", true)), "State property is not numeric: calBackground" },
        { "calLiveRef null", v4 (set ("calLiveRef", juce::var())), "State property is not numeric: calLiveRef" },
        { "inputMax array", v4 (set ("inputMax", array ({ 0.1 }))), "State property is not numeric: inputMax" },
        // 6: booleans.
        { "choke as text", v4 (set ("choke", "true")), booleanType },
        { "modelValid 1", v4 (set ("modelValid", 1)), booleanType },
        // 7: version 2 keys.
        { "no playbackMode", v2 (without ("playbackMode")), "State is missing playbackMode" },
        { "no axisMode", v2 (without ("axisMode")), "State is missing axisMode" },
        { "no backgroundStat", v2 (without ("backgroundStat")), "State is missing backgroundStat" },
        { "no masterGain", v4 (without ("masterGain")), "State is missing masterGain" },
        { "playback mode", v4 (set ("playbackMode", "round-robin")), "Unsupported playback mode" },
        { "axis 1", v4 (set ("axisMode", 1)), axis },
        { "axis 0.5", v4 (set ("axisMode", 0.5)), axis },
        { "axis as text", v4 (set ("axisMode", "0")), axis },
        { "axis false", v4 (set ("axisMode", false)), axis },
        { "background statistic", v4 (set ("backgroundStat", "rms")), "Unsupported background statistic" },
        { "gain above 1", v4 (set ("masterGain", 1.5)), number },
        { "gain below 0", v4 (set ("masterGain", -0.1)), number },
        { "gain as text", v4 (set ("masterGain", "0.5")), number },
        { "infinite gain", v4().replace ("\"masterGain\": 0.5", "\"masterGain\": 1e400"), number },
        // 8: cooldown.
        { "cooldown 27.0", v4 (set ("cooldownMs", 27.0)), cooldown },
        { "cooldown 27", v4 (set ("cooldownMs", 27)), cooldown },
        { "cooldown 155", v4 (set ("cooldownMs", 155)), cooldown },
        { "cooldown -5", v4 (set ("cooldownMs", -5)), cooldown },
        { "cooldown 25.5", v4 (set ("cooldownMs", 25.5)), cooldown },
        { "cooldown as text", v4 (set ("cooldownMs", "25")), cooldown },
        { "cooldown true", v4 (set ("cooldownMs", true)), cooldown },
        { "huge cooldown", v4 (set ("cooldownMs", juce::int64 (25) + (juce::int64 (1) << 40))), cooldown },
        // 10: sample source, versions 1 and 2.
        { "samplePath not a string", v2 (set ("samplePath", 5)), "State samplePath is not a string" },
        { "relative samplePath", v2 (set ("samplePath", "samples/kick.wav")), "State samplePath must be absolute" },
        { "relative samplePath, version 1", v1 (set ("samplePath", "kick.wav")), "State samplePath must be absolute" },
        // 10: versions 3 and 4.
        { "no sampleSelection", v4 (without ("sampleSelection")), "Unsupported sample selection mode" },
        { "other sampleSelection", v4 (set ("sampleSelection", "random")), "Unsupported sample selection mode" },
        { "no samplePaths", v3 (without ("samplePaths")), "State samplePaths is not an array" },
        { "samplePaths as text", v4 (set ("samplePaths", "/samples/kick.wav")), "State samplePaths is not an array" },
        { "79 paths", v4 (set ("samplePaths", paths (79))), "State samplePaths exceeds the slot limit" },
        { "path not a string", v4 (set ("samplePaths", array ({ "/a.wav", 5 }))), "State samplePaths contains a non-string value" },
        { "empty path", v4 (set ("samplePaths", array ({ "" }))), absolute },
        { "relative path", v4 (set ("samplePaths", array ({ "/a.wav", "b.wav" }))), absolute },
        { "duplicate path", v4 (set ("samplePaths", array ({ "/Kit/A.wav", "/b.wav", "/kit/a.WAV" }))),
          "State samplePaths contains a duplicate path" },
        { "non-string before a duplicate", v4 (set ("samplePaths", array ({ "/a", "/a", 1 }))),
          "State samplePaths contains a duplicate path" },
        // 10: version 4 pack.
        { "no builtInPack", v4 (without ("builtInPack")), packMissing },
        { "builtInPack as text", v4 (set ("builtInPack", "-1")), packMissing },
        { "no paths, pack -1", v4 (both (set ("samplePaths", array ({})), set ("builtInPack", -1))), packMismatch },
        { "one path, pack 3", v4 (both (set ("samplePaths", array ({ "/a.wav" })), set ("builtInPack", 3))), packMismatch },
        { "pack 9", v4 (both (set ("samplePaths", array ({})), set ("builtInPack", 9))), packMismatch },
        { "pack -2", v4 (set ("builtInPack", -2)), packMismatch },
        { "pack 2.5", v4 (both (set ("samplePaths", array ({})), set ("builtInPack", 2.5))), packMismatch },
        // 11: ranges.
        { "thresholdK above 10", v4 (set ("thresholdK", 10.5)), number },
        { "thresholdK below 0", v4 (set ("thresholdK", -1)), number },
        { "infinite thresholdK", v4().replace ("\"thresholdK\": 3.5", "\"thresholdK\": 1e999"), number },
        { "negative calBackground", v4 (set ("calBackground", -0.1)), number },
        { "negative calLiveRef", v4 (set ("calLiveRef", -1)), number },
        { "inputMax 0", v4 (set ("inputMax", 0)), number },
        { "infinite inputMax", v4().replace ("\"inputMax\": 0.25", "\"inputMax\": 1e400"), number },
        // 12: curve.
        { "curve as text", v4 (set ("curve", "2,0,0,1,1,0.5")), "State curve is not an array" },
        { "curve with text", v4 (set ("curve", array ({ 2, 0, 0, 1, "1", 0.5 }))), "State curve contains a non-numeric value" },
        { "curve with a boolean", v4 (set ("curve", array ({ 2, 0, false, 1, 1, 0.5 }))), "State curve contains a non-numeric value" },
        { "empty curve", v4 (set ("curve", array ({}))), curve },
        { "first point off both edges", v4 (set ("curve", array ({ 2, 0.1, 0.2, 1, 1, 0.5 }))), curve },
        { "curve too short", v4 (set ("curve", array ({ 2, 0, 0, 1, 1 }))), curve },
        { "infinite curve value", v4().replace ("\"curve\": [3.0, 0.0, 0.1", "\"curve\": [3.0, 0.0, 1e400"), curve },
        // 14: the model.
        { "no coefs", v4 (without ("coefs")), incomplete },
        { "23 coefs", v4 (set ("coefs", shortCoefs)), incomplete },
        { "coefs as text", v4 (set ("coefs", "0")), incomplete },
        { "valid model with background 0", v4 (set ("calBackground", 0)), incomplete },
        { "coefficient as text", v4 ([] (juce::DynamicObject& o) { o.getProperty ("coefs").getArray()->set (5, "1"); }), coefficient },
        { "infinite coefficient", v4().replace ("\"coefs\": [-1.5", "\"coefs\": [-1e400"), coefficient },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        EXPECT_EQ (readError (c.text), c.message);
    }
}

TEST (StateJson, RefusesDeepNestingBeforeParsing)
{
    EXPECT_EQ (readError (repeated ("[", 1 << 20)), "State is not a JSON object");
    EXPECT_EQ (readError ("{\"a\": " + repeated ("{\"a\": ", 1 << 19)), "State is not a JSON object");
    // An object holding 63 nested arrays is 64 levels deep and parses; one more level does not.
    const auto nested = [] (int depth) { return "{\"thresholdK\": " + repeated ("[", depth - 1) + repeated ("]", depth - 1) + "}"; };
    EXPECT_EQ (readError (nested (maxStateJsonDepth)), "State is missing calBackground");
    EXPECT_EQ (readError (nested (maxStateJsonDepth + 1)), "State is not a JSON object");
    // Brackets inside strings do not count, whichever quote the string uses.
    EXPECT_EQ (readError ("{\"thresholdK\": [\"" + repeated ("[", 100) + "\\\"[\", '" + repeated ("{", 100) + "']}"),
               "State is missing calBackground");
    // The parser stops at the end of the object, and so does the depth count.
    EXPECT_EQ (readOk (v4() + repeated ("[", 1000)), fullRecord());
}

TEST (StateJson, ReadsNumbersTheParserReadsFaithfully)
{
    // Eighteen digits are still read as an integer; larger numbers in unknown keys are refused.
    EXPECT_EQ (readOk (v4().replace ("\"cooldownMs\": 40", "\"cooldownMs\": 000000000000000000000040")).cooldownMs, 40);
    EXPECT_EQ (readOk (v4().replace ("\"cooldownMs\": 40", "\"cooldownMs\": 40, \"x\": -999999999999999999")).cooldownMs, 40);
    EXPECT_EQ (readOk (v4().replace ("\"thresholdK\": 3.5", "\"thresholdK\": 0.35e000000001")).thresholdK, 3.5);
    EXPECT_EQ (readOk (v4().replace ("\"thresholdK\": 3.5", "\"thresholdK\": 3.50000000000000000000000000000")).thresholdK, 3.5);
    EXPECT_EQ (readError (v4().replace ("\"cooldownMs\": 40", "\"cooldownMs\": 40, \"x\": 9999999999999999999")),
               "State is not a JSON object");
}

TEST (StateJson, AcceptsTheDocumentedEdges)
{
    EXPECT_EQ (readOk (v4 (set ("cooldownMs", 25.0))).cooldownMs, 25);
    EXPECT_EQ (readOk (v4 (set ("cooldownMs", 0))).cooldownMs, 0);
    EXPECT_EQ (readOk (v4 (set ("cooldownMs", 150))).cooldownMs, 150);
    EXPECT_EQ (readOk (v4 (without ("cooldownMs"))).cooldownMs, 25);
    EXPECT_EQ (readOk (v4 (set ("stateVersion", 4.0))).thresholdK, 3.5);
    EXPECT_EQ (readOk (v4 (set ("axisMode", 0.0))).thresholdK, 3.5);
    EXPECT_EQ (readOk (v4 (set ("curve", array ({ 2, 0, 0.2, 1, 1, 0.5 })))).curve,
               (VelocityCurve { { { 0.0, 0.2 }, { 1.0, 1.0 } }, { 0.5 } }));
    EXPECT_EQ (readOk (v4 (both (set ("samplePaths", array ({})), set ("builtInPack", 8)))).builtInPack, 8);

    // A user origin ignores any factory identifier.
    const auto user = readOk (v4 (set ("profileOrigin", "user")));
    EXPECT_FALSE (user.profileIsFactory);
    EXPECT_EQ (user.factoryProfileId, "");
    const auto noOrigin = readOk (v4 (without ("profileOrigin")));
    EXPECT_FALSE (noOrigin.profileIsFactory);
    EXPECT_EQ (noOrigin.factoryProfileId, "");

    const auto noModel = readOk (v4 (both (set ("modelValid", false), without ("coefs"))));
    EXPECT_FALSE (noModel.modelValid);
    EXPECT_EQ (noModel.coefs, StateRecord().coefs);
}

TEST (StateJson, TakesVersion3PacksFromThePaths)
{
    const auto withPaths = readOk (v4 (both (set ("stateVersion", 3), without ("builtInPack"))));
    EXPECT_EQ (withPaths.samplePaths, fullRecord().samplePaths);
    EXPECT_EQ (withPaths.builtInPack, -1);
    const auto without = readOk (v4 (both (set ("stateVersion", 3), both (set ("samplePaths", array ({})), set ("builtInPack", 5)))));
    EXPECT_EQ (without.builtInPack, 0);
}

TEST (StateJson, ReadsVersion2WithOneSamplePath)
{
    const auto v2 = [] (const Edit& edit)
    {
        return v4 (both (
            [] (juce::DynamicObject& o)
            {
                o.setProperty ("stateVersion", 2);
                o.removeProperty ("samplePaths");
                o.removeProperty ("sampleSelection");
                o.setProperty ("builtInPack", 7);
            },
            edit));
    };
    const auto one = readOk (v2 (set ("samplePath", "/samples/kit")));
    EXPECT_EQ (one.samplePaths, juce::StringArray ("/samples/kit"));
    EXPECT_EQ (one.builtInPack, -1);
    EXPECT_EQ (one.masterGain, 0.5);
    EXPECT_TRUE (one.modelValid);
    const auto none = readOk (v2 (set ("samplePath", "")));
    EXPECT_TRUE (none.samplePaths.isEmpty());
    EXPECT_EQ (none.builtInPack, 0);
    EXPECT_EQ (readOk (v2 (without ("samplePath"))).builtInPack, 0);
}

TEST (StateJson, ReadsVersion1WithAResetModelAndANotice)
{
    const auto record = readOk (v1 (both (set ("masterGain", 0.2), set ("samplePath", "/samples/kick.wav"))));
    EXPECT_FALSE (record.modelValid);
    EXPECT_EQ (record.calBackground, 0.0);
    EXPECT_EQ (record.calLiveRef, 0.0);
    EXPECT_EQ (record.masterGain, 0.7);
    EXPECT_EQ (record.thresholdK, 3.0);
    EXPECT_EQ (record.inputMax, 0.1);
    EXPECT_FALSE (record.choke);
    EXPECT_EQ (record.samplePaths, juce::StringArray ("/samples/kick.wav"));
    EXPECT_EQ (record.builtInPack, -1);
    EXPECT_EQ (record.importNotice, "Imported v1 settings - detection profile requires recalibration");
    EXPECT_EQ (readOk (v1 (set ("stateVersion", 1))).importNotice, record.importNotice);
    EXPECT_EQ (readOk (v4()).importNotice, "");
}

TEST (StateJson, JoinsEscapedSurrogatePairs)
{
    // JUCE's writer escapes U+1F600 as a surrogate pair; the path must come back as UTF-8.
    auto record = fullRecord();
    record.samplePaths = { juce::String::fromUTF8 ("/samples/\xf0\x9f\x98\x80 kick \xc3\xa9.wav") };
    const auto text = juce::JSON::toString (stateToJson (record));
    ASSERT_TRUE (text.contains ("\\ud83d\\ude00"));
    EXPECT_EQ (readOk (text), record);
    const auto lone = readOk (v4 (set ("samplePaths", array ({ "/a" }))).replace ("\"/a\"", "\"/\\ud83d\\u0041\""));
    EXPECT_EQ (lone.samplePaths, juce::StringArray (juce::String::fromUTF8 ("/\xef\xbf\xbd"
                                                                            "A")));
}

TEST (StateJson, ConvertsFirstGenerationSettings)
{
    StateRecord current = fullRecord();
    const auto file = juce::String (R"({"thresholdK": 4.5, "inputMax": 0.5, "choke": true, "curve": [2, 0, 0.25, 1, 1, 0.25]})");
    const auto converted = convertFirstGenerationSettings (file, current);
    ASSERT_NE (converted, file);

    auto expected = current;
    expected.thresholdK = 4.5;
    expected.inputMax = 0.5;
    expected.choke = true;
    expected.curve = { { { 0.0, 0.25 }, { 1.0, 1.0 } }, { 0.25 } };
    EXPECT_EQ (readOk (converted), expected);

    // The four values go in as they are, so a bad one fails the ordinary checks.
    const auto textual = convertFirstGenerationSettings (R"({"thresholdK": "4.5", "inputMax": 0.5, "choke": true, "curve": []})", current);
    EXPECT_EQ (readError (textual), "State property is not numeric: thresholdK");
}

TEST (StateJson, LeavesOtherTextAsItIs)
{
    const StateRecord current;
    const juce::String texts[] = {
        R"({"stateVersion": 1, "thresholdK": 4.5, "inputMax": 0.5, "choke": true, "curve": []})",
        R"({"modelValid": false, "thresholdK": 4.5, "inputMax": 0.5, "choke": true, "curve": []})",
        R"({"thresholdK": 4.5, "inputMax": 0.5, "choke": true})",
        R"({"thresholdK": 4.5, "choke": true, "curve": []})",
        R"([{"thresholdK": 4.5, "inputMax": 0.5, "choke": true, "curve": []}])",
        "{\"thresholdK\": 4.5, \"inputMax\": 0.5, \"choke\": true, \"curve\": [-]}",
        "not json",
        "",
        repeated ("[", 1 << 20),
    };
    for (const auto& text : texts)
        EXPECT_EQ (convertFirstGenerationSettings (text, current), text) << text.substring (0, 80);
}
