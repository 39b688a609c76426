// The whole piece: the ordered list of musical objects built from a parameter string, the
// shared object cursor, the playback position and three ensembles of four MIDI tracks. A value
// of the composer: it knows nothing of players, windows or ports. Control thread only; not
// real-time safe.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "composer/musical_object.h"
#include "composer/parameter_string.h"

namespace vordel {

struct track_preset {
  int Patch;    // General MIDI program counted from 1
  int Panning;  // controller 10
  int Volume;   // controller 7
};

using ObjectList = std::list<std::unique_ptr<MusicalObject>>;

class Composition {
 public:
  Composition();
  Composition(const char* name, const char* pth, const char* inf, int obj_q, int parm_q);
  explicit Composition(const char* parameters);
  ~Composition();
  Composition(const Composition&) = delete;
  Composition& operator=(const Composition&) = delete;

  // Copies data into input_stream and returns how many numbers it holds.
  int ParseParmString(const char* data);
  // Appends a musical object; 0 when 50 musical objects are alive already.
  int AddMusicalObject(int f, int p1, int p2, int p3, int p4);
  int AddMusicalObject(const char* parameters);
  void ClearMusicalObjectList();

  // Selects ensemble 0..2; other values keep the current one.
  void ChooseEnsemble(int ensemble);
  const char* GetEnsembleName() const;

  int GetMusObjCount() const { return MusObjCount; }
  int GetMusParmCount() const { return MusParmCount; }
  bool IsNewComposition() const { return new_composition; }
  void SetNewComp() { new_composition = true; }
  void ResetNewComp() { new_composition = false; }
  ObjectList* ReadObjectList() { return &object_list; }
  ObjectList::iterator* ReadObjIter() { return &obj_iter; }

  void show();
  void GetCompositionInfo(char* dest_str, std::size_t size) const;
  void Play() {}

  // The selected ensemble's presets, tracks 0-3 (an out-of-range selection reads ensemble 0).
  const track_preset (&SelectedEnsemble() const)[4];

  // Generation and playback position.
  void PreGenerate();
  void Generate();
  Set* GetNeighbourSet(int which_neighbour, int which_neigh_type, int which_set);
  Set* GetNeighbourSet(int which_neighbour, int which_set);
  void ResetIters();
  std::int64_t SetPosition(int obj_num);

  ObjectList object_list;
  ObjectList::iterator obj_iter;
  char input_stream[kMaxParameterText + 1] = {};
  std::int64_t Composition_TotalTime = 0;
  int Composition_TotalObjectCount = 0;
  int Composition_CurrentObject = 1;
  std::int64_t Composition_OffsetTime = 0;
  track_preset Composition_TrPresets[3][4] = {};
  char ens_names[3][10] = {};
  int Composition_PresetNumber = 0;

 private:
  void FillPresets();
  void PrepareStatement(MusicalObject& obj);
  void PrepareAntecedentOrConsequent(MusicalObject& obj);
  void PreparePreparationOrExtension(MusicalObject& obj);

  std::string filename;
  std::string path;
  std::string info;
  int MusObjCount = 0;
  int MusParmCount = 5;
  bool new_composition = true;
};

}  // namespace vordel
