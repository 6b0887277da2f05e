#include "i18n/messages.h"

#include <array>
#include <cstddef>

namespace tessiva::i18n {
namespace {

// One row per key in the order of MessageKey; columns en, es, pt-BR.
constexpr std::array<std::array<std::string_view, 3>, 17> CATALOGUE{{
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
}};
static_assert(CATALOGUE.size() == static_cast<std::size_t>(MessageKey::UninstallFailed) + 1);
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
