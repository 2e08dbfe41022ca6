// Test integrator "idle": does nothing when asked to integrate; counts the calls in the
// "int calls" parameter it was made with, when there is one. Example: createIntegrator("idle").
#include "core/render/integrator.h"

namespace {

class IdleIntegrator : public ovo::Integrator {
  public:
    explicit IdleIntegrator(ovo::Parameter* calls) : calls(calls) {}
    void integrate() override {
        if (calls) ++calls->getInts()[0];
    }

  private:
    ovo::Parameter* calls;
};

}  // namespace

extern "C" ovo::Integrator* createIntegrator(ovo::ParameterSet& parameters) {
    return new IdleIntegrator(parameters.find("calls", ovo::TypeInt));
}
