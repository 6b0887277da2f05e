#include "i18n/messages.h"

#include <array>
#include <cstddef>

namespace tessiva::i18n {
namespace {

// One row per key in the order of MessageKey; columns en, es, pt-BR.
constexpr std::array<std::array<std::string_view, 3>, 53> CATALOGUE{{
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
    {{"%1 (Flatpak): not registered, its sandbox cannot see Tessiva. To use it there, run \"flatpak override --user --filesystem=%2:ro %3\" and copy %4 into %5",
      "%1 (Flatpak): no registrado, su entorno aislado no ve Tessiva. Para usarlo allí, ejecuta \"flatpak override --user --filesystem=%2:ro %3\" y copia %4 en %5",
      "%1 (Flatpak): não registrado, o seu ambiente isolado não vê o Tessiva. Para usá-lo lá, execute \"flatpak override --user --filesystem=%2:ro %3\" e copie %4 para %5"}},
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
    // SelectButton
    {{"Select",
      "Seleccionar",
      "Selecionar"}},
    // BrowseButton
    {{"Browse…",
      "Examinar…",
      "Procurar…"}},
}};
static_assert(CATALOGUE.size() == static_cast<std::size_t>(MessageKey::BrowseButton) + 1);
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
