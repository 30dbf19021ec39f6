// An article's pictures when it is saved: renumbering, placing, and the lists they come from.
#pragma once
#include <string>
#include <vector>

#include "store/velmlib.h"

// One picture of an article being saved, in tag-number order: the saved ones (<id>.iix) first,
// then the pending uploads (workatt.txt).
struct TPictureSource {
  std::string Name;      // as listed; "" when the listed name is not a plain file name
  std::string Ext;       // the extension as uploaded, case kept
  bool Pending = false;  // copied from the pending upload (a saved picture is linked)
};
std::vector<TPictureSource> PictureSources(const TStringList& savedNames, const TAttachFileList& pending);

// What a save did with the pictures.
struct TPicturePlacement {
  TStringList Names;    // the final names <id>-<k><ext>, for <id>.iix
  TStringList Written;  // files this save made under final names (removed when the save is undone)
  TStringList Dropped;  // saved pictures no longer used (deleted once the save has succeeded)
};

// Renumbers the picture tags of body against sources and puts the pictures that are used in the
// image folder as <id>-<k><ext>, k counting them from 1 in order: each is first copied (pending)
// or linked (saved) to a "___" name, then renamed to its final name, so that no name is taken
// twice and no saved picture is gone before the new version is stored. Saved pictures whose
// names are no longer used are listed in Dropped for the caller to delete after the store.
// False when a pending picture could not be copied (nothing is changed then).
bool PlacePictures(const std::string& imageFolder, const std::string& id, const std::vector<TPictureSource>& sources,
                   std::string& body, TPicturePlacement& placement);

// The extension of a file name's last component, dot included ("" when there is none).
std::string FileExtension(const std::string& name);
