#include "i18n/texts.h"

#include <array>
#include <cstddef>

namespace tessiva::i18n {
namespace {

// One row per key in the order of MessageKey; columns en, es, pt-BR.
constexpr std::array<std::array<std::string_view, 3>, 73> CATALOGUE{{
    // InstallPrompt
    {{"Install Tessiva on this computer? The browser extension uses this program to save files and open them in your applications.",
      "¿Instalar Tessiva en este equipo? La extensión del navegador usa este programa para guardar los archivos y abrirlos en tus aplicaciones.",
      "Instalar o Tessiva neste computador? A extensão do navegador usa este programa para salvar os arquivos e abri-los nos seus aplicativos."}},
    // InstallDone
    {{"Tessiva was installed. Right-click a file in the browser and choose Open with.",
      "Tessiva se instaló. Haz clic derecho en un archivo en el navegador y elige Abrir con.",
      "O Tessiva foi instalado. Clique com o botão direito num arquivo no navegador e escolha Abrir com."}},
    // UpdateDone
    {{"Tessiva was updated.",
      "Tessiva se actualizó.",
      "O Tessiva foi atualizado."}},
    // InstallFailed
    {{"Tessiva could not be installed.",
      "No se pudo instalar Tessiva.",
      "Não foi possível instalar o Tessiva."}},
    // UninstallPrompt
    {{"Uninstall Tessiva? Your saved files and settings stay on the computer.",
      "¿Desinstalar Tessiva? Los archivos guardados y la configuración se quedan en el equipo.",
      "Desinstalar o Tessiva? Os arquivos salvos e as configurações continuam no computador."}},
    // UninstallDone
    {{"Tessiva was uninstalled.",
      "Tessiva se desinstaló.",
      "O Tessiva foi desinstalado."}},
    // ChooseAppTitle
    {{"Choose an application",
      "Elegir una aplicación",
      "Escolher um aplicativo"}},
    // ProgramsFilter
    {{"Programs",
      "Programas",
      "Programas"}},
    // ChooseFolderTitle
    {{"Choose the folder for saved files",
      "Elegir la carpeta de los archivos guardados",
      "Escolher a pasta dos arquivos salvos"}},
    // TerminalAnswerHint
    {{" [y/N] ",
      " [s/N] ",
      " [s/N] "}},
    // BrowserRegistered
    {{"%1: registered",
      "%1: registrado",
      "%1: registrado"}},
    // BrowserSkipped
    {{"%1: skipped, the browser is not installed",
      "%1: omitido, el navegador no está instalado",
      "%1: ignorado, o navegador não está instalado"}},
    // ManifestRemoved
    {{"%1: removed",
      "%1: eliminado",
      "%1: removido"}},
    // ManifestKept
    {{"%1: kept %2, it starts another program (%3)",
      "%1: se conserva %2, inicia otro programa (%3)",
      "%1: mantido %2, ele inicia outro programa (%3)"}},
    // FlatpakAdvice
    {{"%1 (Flatpak): reaches Tessiva through the native messaging proxy service (%2), which reads the manifest outside the sandbox, where the system has that service; \"%3 --check\" says whether it can.",
      "%1 (Flatpak): llega a Tessiva a través del servicio proxy de mensajería nativa (%2), que lee el manifiesto de fuera del entorno aislado, donde el sistema tiene ese servicio; \"%3 --check\" dice si puede.",
      "%1 (Flatpak): alcança o Tessiva pelo serviço proxy de mensagens nativas (%2), que lê o manifesto de fora do ambiente isolado, onde o sistema tem esse serviço; \"%3 --check\" diz se consegue."}},
    // InstalledSystemWide
    {{"Tessiva is installed system-wide by its package: there is nothing to install for this user.",
      "Tessiva está instalado para todo el sistema por su paquete: no hay nada que instalar para este usuario.",
      "O Tessiva está instalado para todo o sistema pelo seu pacote: não há nada a instalar para este usuário."}},
    // UninstallFailed
    {{"Tessiva could not be uninstalled completely.",
      "No se pudo desinstalar Tessiva por completo.",
      "Não foi possível desinstalar o Tessiva por completo."}},
    // CheckOk
    {{"%1: ok (%2)",
      "%1: correcto (%2)",
      "%1: ok (%2)"}},
    // CheckNotRegistered
    {{"%1: not registered",
      "%1: no registrado",
      "%1: não registrado"}},
    // CheckProblem
    {{"%1: problem, %2",
      "%1: problema, %2",
      "%1: problema, %2"}},
    // CheckManifestMissing
    {{"no manifest found (expected %1). Fix: run \"%2 --install\".",
      "no se encontró el manifiesto (se esperaba %1). Solución: ejecuta \"%2 --install\".",
      "manifesto não encontrado (esperado %1). Solução: execute \"%2 --install\"."}},
    // CheckManifestUnreadable
    {{"the manifest %1 cannot be read. Fix: check its permissions or run \"%2 --install\".",
      "no se puede leer el manifiesto %1. Solución: revisa sus permisos o ejecuta \"%2 --install\".",
      "não é possível ler o manifesto %1. Solução: verifique as permissões ou execute \"%2 --install\"."}},
    // CheckManifestInvalid
    {{"the manifest %1 is not valid JSON. Fix: run \"%2 --install\" to write it again.",
      "el manifiesto %1 no es JSON válido. Solución: ejecuta \"%2 --install\" para escribirlo de nuevo.",
      "o manifesto %1 não é JSON válido. Solução: execute \"%2 --install\" para escrevê-lo de novo."}},
    // CheckManifestWrongName
    {{"the manifest %1 names another host. Fix: run \"%2 --install\".",
      "el manifiesto %1 nombra otro host. Solución: ejecuta \"%2 --install\".",
      "o manifesto %1 indica outro host. Solução: execute \"%2 --install\"."}},
    // CheckManifestWrongType
    {{"the manifest %1 does not have the type \"stdio\". Fix: run \"%2 --install\".",
      "el manifiesto %1 no tiene el tipo \"stdio\". Solución: ejecuta \"%2 --install\".",
      "o manifesto %1 não tem o tipo \"stdio\". Solução: execute \"%2 --install\"."}},
    // CheckPathNotAbsolute
    {{"the manifest %1 does not give the program's full path. Fix: run \"%2 --install\".",
      "el manifiesto %1 no da la ruta completa del programa. Solución: ejecuta \"%2 --install\".",
      "o manifesto %1 não dá o caminho completo do programa. Solução: execute \"%2 --install\"."}},
    // CheckPathMissing
    {{"the program %1 named by the manifest does not exist. Fix: run \"%2 --install\".",
      "el programa %1 que nombra el manifiesto no existe. Solución: ejecuta \"%2 --install\".",
      "o programa %1 indicado pelo manifesto não existe. Solução: execute \"%2 --install\"."}},
    // CheckOriginMissing
    {{"the manifest %1 does not admit the Tessiva extension. Fix: run \"%2 --install\".",
      "el manifiesto %1 no admite la extensión de Tessiva. Solución: ejecuta \"%2 --install\".",
      "o manifesto %1 não admite a extensão do Tessiva. Solução: execute \"%2 --install\"."}},
    // CheckHostNoAnswer
    {{"the program %1 did not answer as the browser starts it. Fix: run \"%2 --install\" again.",
      "el programa %1 no respondió tal como lo inicia el navegador. Solución: ejecuta \"%2 --install\" de nuevo.",
      "o programa %1 não respondeu como o navegador o inicia. Solução: execute \"%2 --install\" de novo."}},
    // CheckHostWrongVersion
    {{"the program %1 is another version of Tessiva. Fix: run \"%2 --install\" to update it.",
      "el programa %1 es otra versión de Tessiva. Solución: ejecuta \"%2 --install\" para actualizarlo.",
      "o programa %1 é outra versão do Tessiva. Solução: execute \"%2 --install\" para atualizá-lo."}},
    // CheckNotStartedAsRoot
    {{"%1: ok (%2), the program %3 was not started: run as root, the check starts no program. Run it as the user to start it.",
      "%1: correcto (%2), no se inició el programa %3: ejecutada como root, la comprobación no inicia ningún programa. Ejecútala como el usuario para iniciarlo.",
      "%1: ok (%2), o programa %3 não foi iniciado: executada como root, a verificação não inicia nenhum programa. Execute-a como o usuário para iniciá-lo."}},
    // CheckPolicyUserLevel
    {{"a policy in %1 forbids hosts installed for one user. Fix: ask the administrator to allow them, or install the Tessiva package for the whole system.",
      "una directiva en %1 prohíbe los hosts instalados para un usuario. Solución: pide al administrador que los permita, o instala el paquete de Tessiva para todo el sistema.",
      "uma política em %1 proíbe hosts instalados para um usuário. Solução: peça ao administrador para permiti-los, ou instale o pacote do Tessiva para todo o sistema."}},
    // CheckPolicyBlocklist
    {{"a policy in %1 blocks this host. Fix: ask the administrator to add it to NativeMessagingAllowlist.",
      "una directiva en %1 bloquea este host. Solución: pide al administrador que lo añada a NativeMessagingAllowlist.",
      "uma política em %1 bloqueia este host. Solução: peça ao administrador para adicioná-lo a NativeMessagingAllowlist."}},
    // CheckSettingsUnreadable
    {{"the settings file %1 cannot be read. Fix: check its permissions.",
      "no se puede leer el archivo de configuración %1. Solución: revisa sus permisos.",
      "não é possível ler o arquivo de configurações %1. Solução: verifique as permissões."}},
    // CheckSettingsInvalid
    {{"the settings file %1 is not valid JSON, so the defaults are used. Fix: correct or delete it.",
      "el archivo de configuración %1 no es JSON válido, así que se usan los valores predeterminados. Solución: corrígelo o elimínalo.",
      "o arquivo de configurações %1 não é JSON válido, então os padrões são usados. Solução: corrija-o ou exclua-o."}},
    // CheckFolderNotWritable
    {{"%1 cannot be written to. Fix: check the folder's permissions, or choose another save folder in the settings.",
      "no se puede escribir en %1. Solución: revisa los permisos de la carpeta o elige otra carpeta de guardado en la configuración.",
      "não é possível gravar em %1. Solução: verifique as permissões da pasta ou escolha outra pasta de salvamento nas configurações."}},
    // CheckLowSpace
    {{"only %1 MiB free. Fix: free some disk space.",
      "solo quedan %1 MiB libres. Solución: libera espacio en el disco.",
      "apenas %1 MiB livres. Solução: libere espaço no disco."}},
    // CheckSettingsName
    {{"Settings",
      "Configuración",
      "Configurações"}},
    // CheckSaveFolderName
    {{"Save folder",
      "Carpeta de guardado",
      "Pasta de salvamento"}},
    // CheckTransfersName
    {{"Transfers folder",
      "Carpeta de transferencias",
      "Pasta de transferências"}},
    // CheckFreeSpaceName
    {{"Free space",
      "Espacio libre",
      "Espaço livre"}},
    // CheckAllReachable
    {{"Every browser that should reach Tessiva can.",
      "Todos los navegadores que deben llegar a Tessiva pueden hacerlo.",
      "Todos os navegadores que devem alcançar o Tessiva conseguem."}},
    // CheckSomeUnreachable
    {{"Some browsers cannot reach Tessiva: see the problems above.",
      "Algunos navegadores no pueden llegar a Tessiva: mira los problemas de arriba.",
      "Alguns navegadores não conseguem alcançar o Tessiva: veja os problemas acima."}},
    // CheckReportFile
    {{"The whole report is in %1.",
      "El informe completo está en %1.",
      "O relatório completo está em %1."}},
    // BrowserRegisteredAhead
    {{"%1: registered for when it is installed",
      "%1: registrado para cuando se instale",
      "%1: registrado para quando for instalado"}},
    // CommandLinked
    {{"The command tessiva is %1.",
      "El comando tessiva es %1.",
      "O comando tessiva é %1."}},
    // CommandNotOnPath
    {{"The command tessiva is %1, but %2 is not on your PATH: run it as %1, or add %2 to PATH.",
      "El comando tessiva es %1, pero %2 no está en tu PATH: ejecútalo como %1, o añade %2 al PATH.",
      "O comando tessiva é %1, mas %2 não está no seu PATH: execute-o como %1, ou adicione %2 ao PATH."}},
    // CommandKept
    {{"The command %1 was kept, it is not Tessiva's (%2).",
      "Se conservó el comando %1, no es de Tessiva (%2).",
      "O comando %1 foi mantido, ele não é do Tessiva (%2)."}},
    // NothingChanged
    {{"Nothing was changed.",
      "No se cambió nada.",
      "Nada foi alterado."}},
    // NotInstalled
    {{"Tessiva was not installed.",
      "Tessiva no estaba instalado.",
      "O Tessiva não estava instalado."}},
    // CheckNotInstalled
    {{"Tessiva is not installed for this user. Fix: run \"%1 --install\".",
      "Tessiva no está instalado para este usuario. Solución: ejecuta \"%1 --install\".",
      "O Tessiva não está instalado para este usuário. Solução: execute \"%1 --install\"."}},
    // CheckSettingsAbsent
    {{"%1: ok, defaults in use (%2 does not exist)",
      "%1: correcto, se usan los valores predeterminados (%2 no existe)",
      "%1: ok, os padrões estão em uso (%2 não existe)"}},
    // SandboxPrompt
    {{"Let %1 start Tessiva outside its sandbox? A small wrapper goes into the browser's folder, and the browser gets the permission to talk to %2, with which it can start any program outside its sandbox.",
      "¿Permitir que %1 inicie Tessiva fuera de su entorno aislado? Se pone un pequeño programa intermediario en la carpeta del navegador, y el navegador recibe el permiso de hablar con %2, con el que puede iniciar cualquier programa fuera de su entorno aislado.",
      "Permitir que %1 inicie o Tessiva fora do seu ambiente isolado? Um pequeno programa intermediário vai para a pasta do navegador, e o navegador recebe a permissão de falar com %2, com a qual pode iniciar qualquer programa fora do seu ambiente isolado."}},
    // SandboxAdvice
    {{"%1: not registered. Its sandbox reaches Tessiva only through a wrapper that starts it outside, with a permission that only you may give. To set it up, run: %2 (it also runs: %3)",
      "%1: no registrado. Su entorno aislado llega a Tessiva solo a través de un intermediario que lo inicia fuera, con un permiso que solo tú puedes dar. Para configurarlo, ejecuta: %2 (también ejecuta: %3)",
      "%1: não registrado. O seu ambiente isolado alcança o Tessiva só por um intermediário que o inicia fora, com uma permissão que só você pode dar. Para configurar, execute: %2 (ele também executa: %3)"}},
    // SandboxRegistered
    {{"%1: registered, through the wrapper %2 that starts Tessiva outside the sandbox",
      "%1: registrado, a través del intermediario %2 que inicia Tessiva fuera del entorno aislado",
      "%1: registrado, pelo intermediário %2 que inicia o Tessiva fora do ambiente isolado"}},
    // SandboxPermissionGranted
    {{"%1: allowed to start programs outside its sandbox (%2)",
      "%1: se le permite iniciar programas fuera de su entorno aislado (%2)",
      "%1: pode iniciar programas fora do seu ambiente isolado (%2)"}},
    // SandboxPermissionNeeded
    {{"%1: it still needs the permission to start programs outside its sandbox. Run: %2",
      "%1: aún necesita el permiso para iniciar programas fuera de su entorno aislado. Ejecuta: %2",
      "%1: ainda precisa da permissão para iniciar programas fora do seu ambiente isolado. Execute: %2"}},
    // SandboxPermissionRevoked
    {{"%1: no longer allowed to start programs outside its sandbox (%2)",
      "%1: ya no se le permite iniciar programas fuera de su entorno aislado (%2)",
      "%1: não pode mais iniciar programas fora do seu ambiente isolado (%2)"}},
    // SandboxRevokeNeeded
    {{"%1: to take back its permission to start programs outside its sandbox, run: %2",
      "%1: para retirarle el permiso de iniciar programas fuera de su entorno aislado, ejecuta: %2",
      "%1: para retirar a permissão de iniciar programas fora do seu ambiente isolado, execute: %2"}},
    // SandboxNotSetUp
    {{"%1: Tessiva was not set up in its sandbox.",
      "%1: Tessiva no estaba configurado en su entorno aislado.",
      "%1: o Tessiva não estava configurado no seu ambiente isolado."}},
    // SandboxUnknown
    {{"--sandbox %1: not a browser whose sandbox Tessiva can set up. These are: %2.",
      "--sandbox %1: no es un navegador cuyo entorno aislado Tessiva pueda configurar. Son estos: %2.",
      "--sandbox %1: não é um navegador cujo ambiente isolado o Tessiva possa configurar. São estes: %2."}},
    // CheckSandboxNoWrapper
    {{"the manifest %1 starts the program inside the sandbox, where it can neither open your applications nor save. Fix: run \"%2 --install --sandbox %3\".",
      "el manifiesto %1 inicia el programa dentro del entorno aislado, donde no puede abrir tus aplicaciones ni guardar. Solución: ejecuta \"%2 --install --sandbox %3\".",
      "o manifesto %1 inicia o programa dentro do ambiente isolado, onde ele não pode abrir seus aplicativos nem salvar. Solução: execute \"%2 --install --sandbox %3\"."}},
    // CheckSandboxNoPermission
    {{"the sandbox may not start programs outside it, which the manifest %1 needs. Fix: run \"flatpak override --user --talk-name=org.freedesktop.Flatpak %3\".",
      "el entorno aislado no puede iniciar programas fuera de él, y el manifiesto %1 lo necesita. Solución: ejecuta \"flatpak override --user --talk-name=org.freedesktop.Flatpak %3\".",
      "o ambiente isolado não pode iniciar programas fora dele, e o manifesto %1 precisa disso. Solução: execute \"flatpak override --user --talk-name=org.freedesktop.Flatpak %3\"."}},
    // CheckProxyMissing
    {{"the native messaging proxy service (org.freedesktop.NativeMessagingProxy) is not on the session bus, and only it lets the sandbox start Tessiva outside. Fix: install xdg-native-messaging-proxy from your distribution, then log in again.",
      "el servicio proxy de mensajería nativa (org.freedesktop.NativeMessagingProxy) no está en el bus de sesión, y solo él permite que el entorno aislado inicie Tessiva fuera. Solución: instala xdg-native-messaging-proxy de tu distribución y vuelve a iniciar sesión.",
      "o serviço proxy de mensagens nativas (org.freedesktop.NativeMessagingProxy) não está no barramento de sessão, e só ele permite que o ambiente isolado inicie o Tessiva fora. Solução: instale xdg-native-messaging-proxy da sua distribuição e entre na sessão de novo."}},
    // CheckProxyNoPermission
    {{"the sandbox may not talk to the native messaging proxy service. Fix: run \"flatpak override --user --talk-name=org.freedesktop.NativeMessagingProxy %3\".",
      "el entorno aislado no puede hablar con el servicio proxy de mensajería nativa. Solución: ejecuta \"flatpak override --user --talk-name=org.freedesktop.NativeMessagingProxy %3\".",
      "o ambiente isolado não pode falar com o serviço proxy de mensagens nativas. Solução: execute \"flatpak override --user --talk-name=org.freedesktop.NativeMessagingProxy %3\"."}},
    // CheckPortalMissing
    {{"the desktop portal's WebExtensions interface (org.freedesktop.portal.WebExtensions) is not on the session bus, and only it lets the snap start Tessiva outside. Fix: update xdg-desktop-portal from your distribution, then log in again.",
      "la interfaz WebExtensions del portal del escritorio (org.freedesktop.portal.WebExtensions) no está en el bus de sesión, y solo ella permite que el snap inicie Tessiva fuera. Solución: actualiza xdg-desktop-portal de tu distribución y vuelve a iniciar sesión.",
      "a interface WebExtensions do portal da área de trabalho (org.freedesktop.portal.WebExtensions) não está no barramento de sessão, e só ela permite que o snap inicie o Tessiva fora. Solução: atualize xdg-desktop-portal da sua distribuição e entre na sessão de novo."}},
    // SelectButton
    {{"Select",
      "Seleccionar",
      "Selecionar"}},
    // BrowseButton
    {{"Browse…",
      "Examinar…",
      "Procurar…"}},
    // MachineInstallPrompt
    {{"Tessiva is already installed for all users of this computer. A copy installed for you alone would take its place in your browsers, and it would not be updated with it. Install a copy for you alone anyway?",
      "Tessiva ya está instalado para todos los usuarios de este equipo. Una copia instalada solo para ti ocuparía su lugar en tus navegadores y no se actualizaría con él. ¿Instalar de todos modos una copia solo para ti?",
      "O Tessiva já está instalado para todos os usuários deste computador. Uma cópia instalada só para você tomaria o lugar dele nos seus navegadores e não seria atualizada com ele. Instalar mesmo assim uma cópia só para você?"}},
    // MachineInstallRefused
    {{"Tessiva is already installed for all users of this computer: nothing was installed for this user. To install a copy for this user anyway, which takes the place of the one for all users in this user's browsers, add --per-user.",
      "Tessiva ya está instalado para todos los usuarios de este equipo: no se instaló nada para este usuario. Para instalar de todos modos una copia para este usuario, que ocupa el lugar de la de todos los usuarios en sus navegadores, añade --per-user.",
      "O Tessiva já está instalado para todos os usuários deste computador: nada foi instalado para este usuário. Para instalar mesmo assim uma cópia para este usuário, que toma o lugar da de todos os usuários nos navegadores dele, adicione --per-user."}},
    // RemoveSystemWide
    {{"To remove it, open Settings > Apps > Installed apps, or run: msiexec /x tessiva-%1-x64.msi",
      "Para quitarlo, abre Configuración > Aplicaciones > Aplicaciones instaladas, o ejecuta: msiexec /x tessiva-%1-x64.msi",
      "Para removê-lo, abra Configurações > Aplicativos > Aplicativos instalados, ou execute: msiexec /x tessiva-%1-x64.msi"}},
    // UninstallSystemWide
    {{"This copy of Tessiva is installed for all users by its package, and only the package removes it: nothing was changed.",
      "Esta copia de Tessiva está instalada para todos los usuarios por su paquete, y solo el paquete la quita: no se cambió nada.",
      "Esta cópia do Tessiva está instalada para todos os usuários pelo seu pacote, e só o pacote a remove: nada foi alterado."}},
    // CheckShadowedByUserCopy
    {{"the copy of Tessiva installed for this user (%1) is older than the one installed for all users and is started in its place. Fix: run \"%1\" --uninstall.",
      "la copia de Tessiva instalada para este usuario (%1) es más antigua que la instalada para todos los usuarios y se inicia en su lugar. Solución: ejecuta \"%1\" --uninstall.",
      "a cópia do Tessiva instalada para este usuário (%1) é mais antiga que a instalada para todos os usuários e é iniciada no lugar dela. Solução: execute \"%1\" --uninstall."}},
}};
static_assert(CATALOGUE.size() == static_cast<std::size_t>(MessageKey::CheckShadowedByUserCopy) + 1);
static_assert(static_cast<std::size_t>(Language::PtBr) == 2);

}  // namespace

std::string_view message_text(Language language, MessageKey key) noexcept {
  return CATALOGUE[static_cast<std::size_t>(key)][static_cast<std::size_t>(language)];
}

std::string format_message(Language language, MessageKey key, std::initializer_list<std::string_view> values) {
  const std::string_view text = message_text(language, key);
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
      const auto index = static_cast<std::size_t>(text[i + 1] - '1');
      if (index < values.size()) {
        out += values.begin()[index];
        ++i;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

}  // namespace tessiva::i18n
