/*
 * corvina-setup-run: the package scripts' way into libcorvinasetup.so. It loads the library
 * from its own folder and calls the hooks in the order the device installer calls them:
 *   corvina-setup-run install [PREVIOUSLY_INSTALLED]   Install_Init, then Install_Exit
 *   corvina-setup-run uninstall                        Uninstall_Init, then Uninstall_Exit
 * PREVIOUSLY_INSTALLED is the version that was configured before (empty or absent on a first
 * installation). The first hook that answers non-zero stops the run, as the installer would
 * stop, and the exit status is then 1; bad arguments or a library that cannot be loaded give 2.
 * A run that went through says which hooks answered, for the package manager's output.
 */
#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

typedef int (*InstallInitHook)(void* parent, int firstCall, int previouslyInstalled, const char* folder);
typedef int (*InstallExitHook)(void* parent, const char* folder, unsigned failedFolders, unsigned failedFiles,
                               unsigned failedKeys, unsigned failedValues, unsigned failedShortcuts);
typedef int (*UninstallInitHook)(void* parent, const char* folder);
typedef int (*UninstallExitHook)(void* parent);

static const char kLibraryName[] = "libcorvinasetup.so";

/* The folder the installation went to: two levels up from this program (PREFIX/lib/corvina). */
static void InstallFolder(const char* programFolder, char* out, size_t size) {
  snprintf(out, size, "%s", programFolder);
  for (int up = 0; up < 2; ++up) {
    char* slash = strrchr(out, '/');
    if (slash == NULL || slash == out) break;
    *slash = '\0';
  }
}

/* Looks a hook up into `*function` (a function pointer of `size` bytes); copied byte-wise
 * because ISO C has no cast from an object pointer to a function pointer. */
static int Hook(void* library, const char* name, void* function, size_t size) {
  void* hook = dlsym(library, name);
  if (hook == NULL) {
    fprintf(stderr, "corvina-setup-run: %s is missing from %s\n", name, kLibraryName);
    return 0;
  }
  memcpy(function, &hook, size);
  return 1;
}

static int Answer(const char* name, int answer) {
  if (answer != 0) fprintf(stderr, "corvina-setup-run: %s answered %d: stopping\n", name, answer);
  return answer == 0;
}

int main(int argc, char** argv) {
  const int install = argc >= 2 && argc <= 3 && strcmp(argv[1], "install") == 0;
  const int uninstall = argc == 2 && strcmp(argv[1], "uninstall") == 0;
  if (!install && !uninstall) {
    fprintf(stderr, "usage: corvina-setup-run install [PREVIOUSLY_INSTALLED] | uninstall\n");
    return 2;
  }
  char self[PATH_MAX];
  const ssize_t got = readlink("/proc/self/exe", self, sizeof self - 1);
  if (got <= 0) {
    perror("corvina-setup-run: /proc/self/exe");
    return 2;
  }
  self[got] = '\0';
  *strrchr(self, '/') = '\0';
  char path[PATH_MAX + sizeof kLibraryName];
  snprintf(path, sizeof path, "%s/%s", self, kLibraryName);
  void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (library == NULL) {
    fprintf(stderr, "corvina-setup-run: %s\n", dlerror());
    return 2;
  }
  char folder[PATH_MAX];
  InstallFolder(self, folder, sizeof folder);
  int ok = 0;
  if (install) {
    const int previously = argc == 3 && argv[2][0] != '\0';
    InstallInitHook init = NULL;
    InstallExitHook done = NULL;
    ok = Hook(library, "Install_Init", &init, sizeof init) && Hook(library, "Install_Exit", &done, sizeof done) &&
         Answer("Install_Init", init(NULL, 1, previously, folder)) &&
         Answer("Install_Exit", done(NULL, folder, 0, 0, 0, 0, 0));
    if (ok) printf("corvina-setup-run: Install_Init (previously installed: %s) and Install_Exit answered 0\n",
                   previously ? "yes" : "no");
  } else {
    UninstallInitHook init = NULL;
    UninstallExitHook done = NULL;
    ok = Hook(library, "Uninstall_Init", &init, sizeof init) && Hook(library, "Uninstall_Exit", &done, sizeof done) &&
         Answer("Uninstall_Init", init(NULL, folder)) &&
         Answer("Uninstall_Exit", done(NULL));
    if (ok) printf("corvina-setup-run: Uninstall_Init and Uninstall_Exit answered 0\n");
  }
  dlclose(library);
  return ok ? 0 : 1;
}
