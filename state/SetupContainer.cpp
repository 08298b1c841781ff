#include "state/SetupContainer.h"

#include "packs/PackContainerFormat.h"
#include "packs/Sha256.h"
#include "state/FlatCurve.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

namespace bopwell
{

namespace
{
    using namespace setupcontainer;
    using samplepack::Sha256;

    const juce::String invalidState = "Bopwell setup contains invalid state.";
    const juce::String cannotEncode = "Bopwell setup contains data that cannot be encoded.";
    const juce::String couldNotEncode = "Bopwell setup could not be encoded.";
    const juce::String payloadTruncated = "Bopwell setup payload is truncated.";
    const juce::String invalidPath = "Bopwell setup contains an invalid sample path.";
    const juce::String invalidModel = "Bopwell setup contains an invalid calibration model.";
    const juce::String invalidCurveLength = "Bopwell setup contains an invalid curve length.";
    const juce::String invalidCurve = "Bopwell setup contains an invalid curve.";

    // The cooldown byte holds cooldownMs + 1; 0 stands for the default.
    constexpr int defaultCooldownMs = 25;
    constexpr std::uint8_t maxCooldownByte = StateRecord::maxCooldownMs + 1;

    bool isWithin (double value, double low, double high) { return value >= low && value <= high; }

    bool isValidCooldown (int cooldownMs)
    {
        return cooldownMs >= 0 && cooldownMs <= StateRecord::maxCooldownMs && cooldownMs % StateRecord::cooldownStepMs == 0;
    }

    bool hasValidBuiltInPack (const StateRecord& record)
    {
        return record.builtInPack >= -1 && record.builtInPack <= StateRecord::maxBuiltInPack
               && (record.builtInPack == -1) == ! record.samplePaths.isEmpty();
    }

    // The ranges that both the encoder and the decoder check (NaN fails each comparison).
    bool hasValidLevels (const StateRecord& record)
    {
        return isWithin (record.masterGain, 0.0, 1.0) && isWithin (record.thresholdK, 0.0, 10.0) && record.calBackground >= 0.0
               && record.calLiveRef >= 0.0 && record.inputMax > 0.0 && std::isfinite (record.calBackground)
               && std::isfinite (record.calLiveRef) && std::isfinite (record.inputMax);
    }

    // Appends fields to a stream (JUCE's streams write numbers little-endian whatever the host
    // order) and remembers whether every write succeeded.
    class FieldWriter
    {
    public:
        explicit FieldWriter (juce::MemoryOutputStream& s) : stream (s) {}

        void bytes (const void* data, std::size_t size) { ok = stream.write (data, size) && ok; }

        void u8 (std::uint8_t value) { ok = stream.writeByte (static_cast<char> (value)) && ok; }
        void u32 (std::uint32_t value) { ok = stream.writeInt (static_cast<int> (value)) && ok; }
        void u64 (std::uint64_t value) { ok = stream.writeInt64 (static_cast<juce::int64> (value)) && ok; }
        void f64 (double value) { ok = stream.writeDouble (value) && ok; }

        // A length and the UTF-8 bytes; false when the text is too long or not well-formed.
        bool string (const juce::String& text, std::uint32_t maxBytes)
        {
            const auto size = text.getNumBytesAsUTF8();
            if (size > maxBytes || ! samplepack::container::isValidText (text.toRawUTF8(), size))
                return false;
            u32 (static_cast<std::uint32_t> (size));
            bytes (text.toRawUTF8(), size);
            return true;
        }

        bool ok = true;

    private:
        juce::MemoryOutputStream& stream;
    };

    // Reads fields from the payload; each read fails, consuming nothing, when too few bytes are left.
    class FieldReader
    {
    public:
        FieldReader (const std::uint8_t* d, std::size_t s) : data (d), size (s) {}

        std::size_t remaining() const { return size - at; }

        bool u8 (std::uint8_t& value)
        {
            return integer (value, 1, [] (const std::uint8_t* p) { return *p; });
        }
        bool u32 (std::uint32_t& value) { return integer (value, 4, juce::ByteOrder::littleEndianInt); }

        bool i32 (std::int32_t& value)
        {
            std::uint32_t bits = 0;
            if (! u32 (bits))
                return false;
            value = static_cast<std::int32_t> (bits);
            return true;
        }

        bool f64 (double& value)
        {
            std::uint64_t bits = 0;
            if (! integer (bits, 8, juce::ByteOrder::littleEndianInt64))
                return false;
            value = std::bit_cast<double> (bits);
            return true;
        }

        // False when the length is above maxBytes, the bytes run past the end or are not
        // well-formed UTF-8 without zero bytes.
        bool string (juce::String& text, std::uint32_t maxBytes)
        {
            std::uint32_t length = 0;
            if (! u32 (length))
                return false;
            if (length > maxBytes || length > remaining() || ! samplepack::container::isValidText (data + at, length))
                return false;
            text = juce::String::fromUTF8 (reinterpret_cast<const char*> (data + at), static_cast<int> (length));
            at += length;
            return true;
        }

    private:
        template <typename Value, typename Read>
        bool integer (Value& value, std::size_t bytes, Read read)
        {
            if (remaining() < bytes)
                return false;
            value = static_cast<Value> (read (data + at));
            at += bytes;
            return true;
        }

        const std::uint8_t* data;
        std::size_t size;
        std::size_t at = 0;
    };

    // The payload fields in their order, or the message of the first step that fails.
    juce::String writePayload (const StateRecord& record, juce::MemoryOutputStream& payload)
    {
        FieldWriter out (payload);
        out.f64 (record.masterGain);
        out.f64 (record.thresholdK);
        out.f64 (record.calBackground);
        out.f64 (record.calLiveRef);
        out.f64 (record.inputMax);
        out.u8 (record.choke ? 1 : 0);
        out.u8 (record.modelValid ? 1 : 0);
        out.u8 (record.profileIsFactory ? 1 : 0);
        out.u8 (static_cast<std::uint8_t> (record.cooldownMs + 1));
        out.u32 (static_cast<std::uint32_t> (record.builtInPack));

        if (! out.string (record.profileIsFactory ? record.factoryProfileId : juce::String(), maxFactoryProfileIdBytes))
            return cannotEncode;
        out.u32 (static_cast<std::uint32_t> (record.samplePaths.size()));
        for (const auto& path : record.samplePaths)
            if (! out.string (path, maxSamplePathBytes))
                return cannotEncode;

        if (record.modelValid)
            for (const auto coefficient : record.coefs)
            {
                if (! std::isfinite (coefficient))
                    return cannotEncode;
                out.f64 (coefficient);
            }

        const auto curve = flattenCurve (record.curve);
        VelocityCurve checked;
        if (curve.size() > static_cast<std::size_t> (maxFlatCurveValues) || ! readFlatCurve (curve, checked))
            return cannotEncode;
        out.u32 (static_cast<std::uint32_t> (curve.size()));
        for (const auto value : curve)
            out.f64 (value);

        return out.ok ? juce::String() : cannotEncode;
    }

    juce::String encode (const StateRecord& record, juce::MemoryBlock& out)
    {
        const auto validState = hasValidLevels (record) && isValidCooldown (record.cooldownMs)
                                && record.samplePaths.size() <= StateRecord::maxSamplePaths && hasValidBuiltInPack (record)
                                && (! record.profileIsFactory || record.factoryProfileId.isNotEmpty());
        if (! validState)
            return invalidState;

        juce::MemoryOutputStream payload;
        if (const auto error = writePayload (record, payload); error.isNotEmpty())
            return error;
        const auto length = payload.getDataSize();
        if (length == 0)
            return "Bopwell setup payload is empty.";
        if (length > maxPayloadBytes)
            return "Bopwell setup exceeds the 1 MiB file limit.";

        juce::MemoryOutputStream container (length + headerBytes + digestBytes + 1);
        FieldWriter header (container);
        header.bytes (magic, sizeof (magic));
        header.u32 (containerVersion);
        header.u32 (static_cast<std::uint32_t> (StateRecord::stateVersion));
        header.u32 (static_cast<std::uint32_t> (StateRecord::axisMode));
        header.u32 (0); // flags
        header.u64 (length);
        header.u64 (0); // reserved
        if (! header.ok || container.getDataSize() != headerBytes)
            return couldNotEncode;
        header.bytes (payload.getData(), length);
        if (! header.ok)
            return couldNotEncode;

        const auto digest = Sha256::of (container.getData(), container.getDataSize());
        header.bytes (digest.data(), digest.size());
        if (! header.ok || container.getDataSize() != length + headerBytes + digestBytes)
            return "Bopwell setup integrity data could not be encoded.";
        out.replaceAll (container.getData(), container.getDataSize());
        return {};
    }

    juce::String checkHeader (const std::uint8_t* bytes, std::size_t size)
    {
        if (size < headerBytes + digestBytes)
            return "Bopwell setup is truncated.";
        if (! std::equal (std::begin (magic), std::end (magic), bytes))
            return "Bopwell setup has an invalid file identifier.";
        const auto field32 = [bytes] (std::size_t at) { return juce::ByteOrder::littleEndianInt (bytes + at); };
        const auto field64 = [bytes] (std::size_t at) { return juce::ByteOrder::littleEndianInt64 (bytes + at); };
        if (field32 (containerVersionAt) != containerVersion)
            return "Unsupported Bopwell setup container version.";
        if (field32 (stateVersionAt) != static_cast<std::uint64_t> (StateRecord::stateVersion))
            return "Unsupported Bopwell setup state version.";
        if (field32 (axisModeAt) != static_cast<std::uint64_t> (StateRecord::axisMode))
            return "Bopwell setup axis mode does not match this build.";
        if (field32 (flagsAt) != 0 || field64 (reservedAt) != 0)
            return "Bopwell setup contains unsupported flags.";
        const auto length = field64 (payloadLengthAt);
        if (length < 1 || length > maxPayloadBytes)
            return "Bopwell setup payload length is invalid.";
        if (size != length + headerBytes + digestBytes)
            return "Bopwell setup length does not match its header.";
        const auto digest = Sha256::of (bytes, size - digestBytes);
        if (! std::equal (digest.begin(), digest.end(), bytes + size - digestBytes))
            return "Bopwell setup integrity check failed.";
        return {};
    }

    juce::String decodePayload (const std::uint8_t* payload, std::size_t size, StateRecord& record)
    {
        FieldReader in (payload, size);
        if (size < fixedPayloadBytes)
            return payloadTruncated;
        std::uint8_t choke = 0, modelValid = 0, factory = 0, cooldown = 0;
        std::int32_t builtInPack = 0;
        in.f64 (record.masterGain);
        in.f64 (record.thresholdK);
        in.f64 (record.calBackground);
        in.f64 (record.calLiveRef);
        in.f64 (record.inputMax);
        in.u8 (choke);
        in.u8 (modelValid);
        in.u8 (factory);
        in.u8 (cooldown);
        in.i32 (builtInPack);
        std::uint32_t pathCount = 0;
        if (! in.string (record.factoryProfileId, maxFactoryProfileIdBytes) || ! in.u32 (pathCount))
            return payloadTruncated;

        if (choke > 1 || modelValid > 1 || factory > 1 || cooldown > maxCooldownByte
            || pathCount > static_cast<std::uint32_t> (StateRecord::maxSamplePaths))
            return "Bopwell setup payload contains invalid flags or counts.";
        record.choke = choke == 1;
        record.modelValid = modelValid == 1;
        record.profileIsFactory = factory == 1;
        record.cooldownMs = cooldown == 0 ? defaultCooldownMs : cooldown - 1;
        record.builtInPack = builtInPack;

        for (std::uint32_t i = 0; i < pathCount; ++i)
        {
            juce::String path;
            if (! in.string (path, maxSamplePathBytes))
                return invalidPath;
            record.samplePaths.add (path);
        }

        if (record.modelValid)
        {
            if (in.remaining() < record.coefs.size() * 8)
                return invalidModel;
            for (auto& coefficient : record.coefs)
                if (! in.f64 (coefficient) || ! std::isfinite (coefficient))
                    return invalidModel;
        }

        std::uint32_t curveCount = 0;
        if (! in.u32 (curveCount) || curveCount < 1 || curveCount > static_cast<std::uint32_t> (maxFlatCurveValues))
            return invalidCurveLength;
        if (in.remaining() < std::size_t { curveCount } * 8)
            return invalidCurve;
        std::vector<double> curve (curveCount);
        for (auto& value : curve)
            if (! in.f64 (value) || ! std::isfinite (value))
                return invalidCurve;
        if (in.remaining() != 0)
            return "Bopwell setup payload contains trailing data.";

        const auto validValues = readFlatCurve (curve, record.curve) && isValidCooldown (record.cooldownMs) && hasValidLevels (record)
                                 && hasValidBuiltInPack (record) && record.profileIsFactory == record.factoryProfileId.isNotEmpty()
                                 && (! record.modelValid || record.calBackground > 0.0);
        if (! validValues)
            return "Bopwell setup contains invalid state values.";

        for (int i = 0; i < record.samplePaths.size(); ++i)
        {
            const auto& path = record.samplePaths[i];
            if (path.isEmpty() || ! juce::File::isAbsolutePath (path))
                return "State sample paths must be non-empty absolute paths";
            for (int earlier = 0; earlier < i; ++earlier)
                if (record.samplePaths[earlier].equalsIgnoreCase (path))
                    return "State samplePaths contains a duplicate path";
        }
        return {};
    }
} // namespace

juce::String encodeSetupContainer (const StateRecord& record, juce::MemoryBlock& out)
{
    out.reset();
    try
    {
        const auto error = encode (record, out);
        if (error.isNotEmpty())
            out.reset();
        return error;
    }
    catch (const std::bad_alloc&)
    {
        out.reset();
        return couldNotEncode;
    }
}

juce::String decodeSetupContainer (const void* data, std::size_t size, StateRecord& record)
{
    const auto* bytes = static_cast<const std::uint8_t*> (data);
    if (const auto error = checkHeader (bytes, size); error.isNotEmpty())
        return error;

    StateRecord decoded;
    if (const auto error = decodePayload (bytes + headerBytes, size - headerBytes - digestBytes, decoded); error.isNotEmpty())
        return error;
    record = std::move (decoded);
    return {};
}

bool looksLikeSetupContainer (const void* data, std::size_t size) noexcept
{
    return data != nullptr && size >= 4 && std::memcmp (data, "BWSE", 4) == 0;
}

} // namespace bopwell
