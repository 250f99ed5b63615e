#pragma once
// The folder chooser of an extraction: asks for the folder to extract into
// and makes room there for the item about to be created. When an item of that
// name exists, the user is asked whether to overwrite it, and on OK it is
// removed (a folder with everything below it).
#include <string>

class CBrowseDirDialog {
 public:
  static constexpr int kOverwriteString = 17;

  // name: the file or folder the caller will create in the chosen folder, a
  // single path component (a name from the medium made safe by the caller).
  // isFolder is kept for the caller; the check treats both kinds alike.
  CBrowseDirDialog(bool isFolder, std::string name);
  virtual ~CBrowseDirDialog();

  // True when a folder was chosen and the name is free in it (or was freed);
  // the folder is then GetPath().
  bool Browse();
  // The overwrite question for GetTarget(); true when the name is free now.
  // A name that is not a single path component is refused (false).
  bool CheckTarget();
  // Removes dir with its files and its sub-folders, except sub-folders whose
  // names begin with a dot, which are not entered (dir then stays). A link is
  // removed, never followed.
  static void DeleteTree(const std::string& dir);

  const std::string& GetPath() const { return m_szPath; }
  void SetPath(std::string path) { m_szPath = std::move(path); }
  const std::string& GetName() const { return m_sName; }
  bool IsFolder() const { return m_bFolder; }
  // The chosen folder, a "/" unless it ends with one, and the name.
  std::string GetTarget() const;

 private:
  std::string m_szPath;
  std::string m_sName;
  bool m_bFolder = false;
};
