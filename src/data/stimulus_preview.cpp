#include "data/stimulus_preview.h"

#include "run/session.h"
#include "run/stimulus.h"

namespace membrix {

void PreviewStimulus(Session& s, Host& host, StimulusPreviewSink& sink) {
  const StimulusGlobals stimBefore = s.stim;
  const RandomGenerator randomBefore = s.random;
  const NeuronProperties& np = s.NP0;
  StimulusGlobals& g = s.stim;
  ResetStimulusState(g, np.Vrest);
  g.du_Reset = 0.0;

  sink.Clear();
  sink.PulseWindow(g.t_IindShift * 1000.0, (g.t_IindShift + g.t_Iind) * 1000.0);
  const double area = np.Square;
  int i = 1;
  do {
    s.run.t = i * s.run.dt;
    const StepInputs in = Stimulus(s, np);
    sink.Sample(s.run.t * 1000.0, in.Iext * area * 1e9, in.uDend * 1000.0, in.sDend * area * 1e6);
  } while (++i <= s.run.nt_end);
  host.ProcessEvents();

  s.stim = stimBefore;
  s.random = randomBefore;
}

}  // namespace membrix
