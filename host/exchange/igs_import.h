// An IGS file brought into a new scene document, so that Trackline, run on it again with the
// options the file was written with, writes the same file byte for byte.
#pragma once

#include <string>

#include "exchange/igs_file.h"
#include "exchange/model_import.h"

namespace vlm::host {

// Builds the scene of a file's records:
// - every block becomes a group with its frame, named as the export named its node (the
//   level and distance the block name starts with are taken off: "1_1000_Hangar" is the group
//   "Hangar"); every mesh an object of that group, its triangles in order with the winding
//   the host had;
// - the levels of detail: "No LODs" and custom levels give one top group per top-level block
//   ("body", "body_200", ...); automatic levels give one top group, the first level's, whose
//   objects are split by the farthest level each shape was still written at;
// - every material record a material with its colours, texture names and the four custom
//   fields "Rail Sim", "Tx Alpha", "Alpha Pr" and "RailSimX" that give the record back.
// `folder` is where the file lies (its textures are looked for in the folder each texture name
// gives below it; empty: not looked for). The log says which levels of detail were found and
// what cannot be given back exactly.
ImportedModel ImportIgs(const IgsContents& igs, const std::string& folder,
                        const ImportOptions& options = {});

}  // namespace vlm::host
