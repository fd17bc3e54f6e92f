/*
 * The installer's setup-extension hooks. The package carries them so that the installer
 * finds them; none changes the installation. The four exported names are aliases of one
 * function that ignores whatever arguments the installer passes and answers 0 (continue).
 * With the C calling convention the caller removes its own arguments, so one function with
 * no parameters serves every hook's signature.
 */
#define CORVINA_EXPORT __attribute__((visibility("default")))

int corvina_setup_hook(void);

int corvina_setup_hook(void) { return 0; }

CORVINA_EXPORT int Install_Init(void) __attribute__((alias("corvina_setup_hook")));
CORVINA_EXPORT int Install_Exit(void) __attribute__((alias("corvina_setup_hook")));
CORVINA_EXPORT int Uninstall_Init(void) __attribute__((alias("corvina_setup_hook")));
CORVINA_EXPORT int Uninstall_Exit(void) __attribute__((alias("corvina_setup_hook")));
