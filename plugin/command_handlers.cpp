// Where the plug-in's two parts meet: the host link installs at activation
// the key handlers that the commands give it. Neither part includes the other.
#include "plugin/fees/list_handlers.h"
#include "plugin/hostlink/module.h"

namespace q7 {

const command_key_handlers command_handlers{&plot_list_handler, &cash_list_handler};

}  // namespace q7
