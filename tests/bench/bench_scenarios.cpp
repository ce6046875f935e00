#include "bench/bench_scenarios.h"

namespace ksbench {

void RunHostScenarios() {}

}  // namespace ksbench
