#include "i18n/messages.h"

#include <array>
#include <cstddef>

namespace tessiva::i18n {
namespace {

// One row per key in the order of MessageKey; columns en, es, pt-BR.
constexpr std::array<std::array<std::string_view, 3>, 9> CATALOGUE{{
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
}};
static_assert(CATALOGUE.size() == static_cast<std::size_t>(MessageKey::ChooseFolderTitle) + 1);
static_assert(static_cast<std::size_t>(Language::PtBr) == 2);

}  // namespace

std::string_view message_text(Language language, MessageKey key) noexcept {
  return CATALOGUE[static_cast<std::size_t>(key)][static_cast<std::size_t>(language)];
}

}  // namespace tessiva::i18n
