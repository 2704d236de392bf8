# Bash completion for vestra-cli: the subcommands, each one's options, the port names COM1..COM24
# and the serial devices that are there, and the command's file until it is given.

_vestra_cli() {
  local cur prev words cword
  _init_completion || return

  if ((cword == 1)); then
    COMPREPLY=($(compgen -W 'ports find version read write diff provision report dashboard --help' \
      -- "$cur"))
    return
  fi
  local command=${words[1]}

  case $prev in
    --port)
      local names=(COM{1..24}) device
      [[ $command == provision ]] && names+=(auto)
      for device in /dev/ttyACM* /dev/ttyUSB* /dev/serial/by-id/* /dev/serial/by-path/*; do
        [[ -e $device ]] && names+=("$device")
      done
      COMPREPLY=($(compgen -W "${names[*]}" -- "$cur"))
      return
      ;;
    -o | --output | --exchange-log | --log | --token-file)
      _filedir
      return
      ;;
    --units)
      _filedir '@(csv|CSV)'
      return
      ;;
    --db) # a file; a postgresql:// address is typed by hand
      _filedir '@(db|sqlite)'
      return
      ;;
    --unsupported)
      COMPREPLY=($(compgen -W 'skip stop' -- "$cur"))
      return
      ;;
    --format)
      COMPREPLY=($(compgen -W 'csv json' -- "$cur"))
      return
      ;;
    --settle | --count | --station | --lease)
      return
      ;;
  esac

  local options='-h --help --help-all --exchange-log --unsupported' file=''
  local unit_options='--set-time --no-set-time --manual-corr-coef --no-manual-corr-coef'
  case $command in
    version) options+=' --port' ;;
    read) options+=' --port -o --output' ;;
    write)
      options+=" --port --no-verify --settle $unit_options"
      file=ini
      ;;
    diff)
      options+=' --port'
      file=ini
      ;;
    provision)
      options+=" --port --units --db --station --log --count --lease --json --scan --settle $unit_options"
      file=ini
      ;;
    report) options+=' --db --format' ;;
    dashboard) options+=' --db --listen --token-file' ;;
  esac

  # The file is one word that is neither an option nor an option's value; once given, only
  # options remain.
  local i
  for ((i = 2; i < cword; i++)); do
    case ${words[i]} in
      --port | -o | --output | --exchange-log | --log | --units | --db | --unsupported | \
        --format | --settle | --count | --station | --lease) ((i++)) ;;
      -*) ;;
      *) file='' ;;
    esac
  done

  if [[ $cur == -* || -z $file ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
  else
    _filedir '@(ini|INI)'
  fi
}
complete -F _vestra_cli vestra-cli
