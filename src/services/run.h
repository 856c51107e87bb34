// The run object: all state of one assembly, created afresh by every call of
// Run44Assembler and handed to every operation. Settings that outlive a run are in
// PersistentSettings, not here.
#ifndef ZQASM_SERVICES_RUN_H_
#define ZQASM_SERVICES_RUN_H_

#include "chip/chip_file.h"
#include "chip/object_file.h"
#include "directives/condition.h"
#include "directives/directive.h"
#include "directives/macro_state.h"
#include "directives/segment.h"
#include "services/diagnostics.h"
#include "services/output_files.h"
#include "services/run_observer.h"
#include "source/source_state.h"
#include "symbols/constant_table.h"
#include "symbols/label_state.h"
#include "symbols/substitution.h"
#include "zqasm/assembler.h"

namespace zq {

struct AssemblerRun {
  AssemblerParams* params = nullptr;  // the host's block, valid for the call
  SourceState source;
  DiagnosticsState diagnostics;
  OutputFiles files;
  DirectiveState directives;
  ConditionState conditions;
  MacroState macros;
  SegmentState segments;
  LabelTable labels;
  ConstantTable constants;
  SubstitutionState substitutions;
  ChipState chip;
  ObjectState object;
  FactState facts;  // for a run observer's facts only
};

}  // namespace zq

#endif  // ZQASM_SERVICES_RUN_H_
