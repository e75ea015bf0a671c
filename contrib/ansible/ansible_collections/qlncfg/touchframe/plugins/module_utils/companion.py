# -*- coding: utf-8 -*-
# Copyright 2026 QlnCfg developers
"""Running qlncfg-cli for the collection's modules.

Every read and write goes through the companion program, so the frames see the same requests as
from the window or a person's shell. Its failures become the task's failure with its own message.
"""

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type

import json

# The companion's exit statuses (qlncfg-cli --help, docs/cli.md).
EXIT_REASONS = {
    1: 'failed',
    2: 'usage',
    3: 'service_unreachable',
    4: 'busy',
    5: 'not_ready_after_reset',
}

COMMON_ARGUMENT_SPEC = dict(
    device=dict(type='str'),
    wait=dict(type='float', default=15.0),
    executable=dict(type='path', default='qlncfg-cli'),
)

# The settings in the units of `qlncfg-cli advanced set`'s options, as `advanced get --json`
# names them.
ADVANCED_SETTINGS = ('right_click', 'right_click_duration', 'double_click_speed', 'click_range',
                     'smoothing', 'pen')
SETTING_OPTIONS = {
    'right_click': '--right-click',
    'right_click_duration': '--right-click-duration',
    'double_click_speed': '--double-click-speed',
    'click_range': '--click-range',
    'smoothing': '--smoothing',
    'pen': '--pen',
}


def option_value(value):
    if isinstance(value, bool):
        return 'on' if value else 'off'
    return str(value)


def people_units(settings):
    """The settings as the window shows them, one "name: value" line each, for --diff."""
    lines = []
    for name in ('mode',) + ADVANCED_SETTINGS:
        if name not in settings:
            continue
        value = settings[name]
        if isinstance(value, bool):
            text = 'on' if value else 'off'
        elif name in ('right_click_duration', 'double_click_speed'):
            # Tenths of a second on the sliders.
            text = '%.1f s' % (value / 10.0)
        else:
            text = str(value)
        lines.append('%s: %s' % (name, text))
    return '\n'.join(lines) + '\n'


class CompanionError(Exception):
    """A command of the companion that did not end with status 0."""

    def __init__(self, message, exit_status, command):
        super(CompanionError, self).__init__(message)
        self.message = message
        self.exit_status = exit_status
        self.command = command

    def fail(self, module, **extra):
        module.fail_json(msg=self.message, exit_status=self.exit_status,
                         reason=EXIT_REASONS.get(self.exit_status, 'failed'), command=self.command, **extra)


class Companion(object):
    """qlncfg-cli with the task's --wait; each call is one command, with its own guard."""

    def __init__(self, module):
        self.module = module
        executable = module.params['executable']
        if '/' not in executable:
            executable = module.get_bin_path(executable, required=True)
        self.executable = executable
        self.wait = module.params['wait']

    def run(self, args, device=None, as_json=False):
        command = [self.executable, '--wait', '%g' % self.wait]
        if device:
            command += ['--device', device]
        if as_json:
            command.append('--json')
        command += args
        rc, out, err = self.module.run_command(command, check_rc=False)
        if rc != 0:
            raise CompanionError(self._message(rc, out, err), rc, command)
        if not as_json:
            return out
        try:
            return json.loads(out)
        except ValueError:
            raise CompanionError('qlncfg-cli printed no JSON: %r' % out[:200], 1, command)

    @staticmethod
    def _message(rc, out, err):
        # The companion's own message is the last line it wrote on standard error ("qlncfg-cli: ...");
        # with --json the same text is in {"error": ...} on standard output.
        lines = [line for line in err.splitlines() if line.strip()]
        if lines:
            text = lines[-1]
            return text[len('qlncfg-cli: '):] if text.startswith('qlncfg-cli: ') else text
        try:
            answer = json.loads(out)
        except ValueError:
            answer = None
        if isinstance(answer, dict) and answer.get('error'):
            return answer['error']
        if isinstance(answer, dict) and answer.get('status') == 'busy':
            return 'device %s is busy (being reset)' % answer.get('device', '')
        return 'qlncfg-cli ended with status %d' % rc

    def devices(self, device):
        """The frames a task acts on: the one it names (the companion says when it is not
        attached), or every attached one."""
        if device:
            return [device]
        return self.run(['devices'], as_json=True)
