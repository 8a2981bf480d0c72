// Loads the GNOME 45+ entry point of the shell extension as an ES module, with the shell's own
// modules stubbed, so that a syntax error, an unknown module or a misspelt import fails.
//   node gnome_module_check.mjs EXTENSION_SOURCE_DIR
import {readFileSync, mkdtempSync, writeFileSync, rmSync} from 'node:fs';
import {register} from 'node:module';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {pathToFileURL} from 'node:url';

// What the shell's modules really export, as far as the extension may use them.
const shellModules = {
    'resource:///org/gnome/shell/extensions/extension.js':
        ['Extension', 'gettext', 'ngettext', 'pgettext'],
    'resource:///org/gnome/shell/ui/main.js': ['panel', 'overview', 'notify', 'layoutManager'],
    'resource:///org/gnome/shell/ui/panelMenu.js': ['Button', 'ButtonBox', 'SystemIndicator'],
};
const typelibs = ['Gio', 'GLib', 'GObject', 'Meta', 'Shell', 'St', 'Clutter'];

const hooks = `
const shellModules = ${JSON.stringify(shellModules)};
const typelibs = ${JSON.stringify(typelibs)};
const anything = 'const any = new Proxy(function () {}, {get: (_, key) => ' +
    'key === Symbol.toPrimitive ? () => 0 : any, apply: () => any, construct: () => any});';
export async function resolve(specifier, context, next) {
    if (specifier.startsWith('gi://') || specifier.startsWith('resource://'))
        return {url: 'stub:' + specifier, shortCircuit: true};
    return next(specifier, context);
}
export async function load(url, context, next) {
    if (!url.startsWith('stub:'))
        return next(url, context);
    const specifier = url.slice(5);
    let source;
    if (specifier.startsWith('gi://')) {
        if (!typelibs.includes(specifier.slice(5).split('?')[0]))
            throw new Error('unknown typelib ' + specifier);
        source = anything + 'export default any;';
    } else if (specifier in shellModules) {
        source = anything + shellModules[specifier].map(name => name === 'Extension'
            ? 'export class Extension { constructor(metadata) { this.metadata = metadata; } }'
            : 'export const ' + name + ' = any;').join('\\n');
    } else {
        throw new Error('unknown shell module ' + specifier);
    }
    return {format: 'module', source, shortCircuit: true};
}`;
register('data:text/javascript,' + encodeURIComponent(hooks));

const dir = process.argv[2];
const read = name => readFileSync(join(dir, name), 'utf8');
const entry = read('entry-module.js');
const folder = mkdtempSync(join(tmpdir(), 'dozewick-module-'));
try {
    const file = join(folder, 'extension.js');
    writeFileSync(file, entry.replace('// @shared@\n', () => read('shared.js')));
    writeFileSync(join(folder, 'package.json'), '{"type": "module"}');
    // The shell's own global object, as far as the extension reaches into it: stubs all.
    const {default: any} = await import('gi://GLib');
    Object.assign(globalThis, {display: any, workspace_manager: any, get_window_actors: any});
    const module = await import(pathToFileURL(file).href);
    const extension = new module.default({uuid: 'dozewick@dozewick.org'});
    if (typeof extension.enable !== 'function' || typeof extension.disable !== 'function')
        throw new Error('the default export is not an extension');
    extension.enable();
    extension.disable();
    console.log('the ES-module entry point loads');
} finally {
    rmSync(folder, {recursive: true, force: true});
}
