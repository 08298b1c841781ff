#pragma once

#include <string>

namespace bopwell::assetgen
{

// The header's comic burst as SVG text: a blue burst on a dark, long-spiked silhouette with a
// few motion marks, 120 x 80, squeezed to 0.9 of its width about its centre.
std::string headerBurstSvg();

} // namespace bopwell::assetgen
