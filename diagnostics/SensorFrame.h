#pragma once

#include <cstdint>

namespace bopwell
{

// One sensor sample as the detector saw it, with its decision: what the strike capture and the
// session recorder keep of each sample.
struct SensorFrame
{
    float raw = 0.0f; // the detector's motion: magnitude of the gravity-removed acceleration, g
    float env = 0.0f; // the detector's envelope, g
    float dx = 0.0f;
    float dy = 0.0f;
    float dz = 0.0f;
    float gx = 0.0f; // degrees per second
    float gy = 0.0f;
    float gz = 0.0f;
    std::uint8_t fired = 0;
    std::uint8_t gyroFresh = 0;
};

} // namespace bopwell
