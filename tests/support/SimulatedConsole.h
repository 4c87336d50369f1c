// The console simulator on a fresh pseudo-terminal, serving a store that is
// filled before its wire thread starts. The program side opens Port().
//
// Thread rules: the store is read through Console() or simulator.WithStore
// from any thread.
#pragma once

#include <functional>
#include <string>

#include "sim/ConsoleSimulator.h"
#include "sim/ConsoleStore.h"
#include "sim/FaultPlan.h"
#include "sim/SimEndpoint.h"

namespace vemkard::testing {

class SimulatedConsole {
  public:
    SimulatedConsole(std::size_t capacity, const std::function<void(ConsoleStore&)>& fill,
                     const SimulatorOptions& options, FaultPlan faults,
                     ConsoleSimulator::Logger log = {})
        : store_(MakeStore(capacity, fill)),
          simulator(pty_.master.Get(), store_, options, std::move(faults), std::move(log)) {
        simulator.Start();
    }
    ~SimulatedConsole() { simulator.Stop(); }
    SimulatedConsole(const SimulatedConsole&) = delete;
    SimulatedConsole& operator=(const SimulatedConsole&) = delete;

    const std::string& Port() const { return pty_.slaveName; }

    // A copy of the console's memory as it is now.
    ConsoleStore Console() {
        return simulator.WithStore([](ConsoleStore& store) { return store; });
    }

  private:
    static ConsoleStore MakeStore(std::size_t capacity,
                                  const std::function<void(ConsoleStore&)>& fill) {
        ConsoleStore store(capacity);
        if (fill) fill(store);
        return store;
    }

    PseudoTerminal pty_ = OpenPseudoTerminal();
    ConsoleStore store_;

  public:
    ConsoleSimulator simulator;
};

}  // namespace vemkard::testing
